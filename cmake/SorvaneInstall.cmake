# The installed layout under any prefix: the programs in bin/, the shared libraries in
# lib/sorvane/ (found through RPATHs relative to whoever loads them), a desktop entry, an
# icon and man pages, and the demo story with its generated assets in share/sorvane/demo.
set(SORVANE_LIB_DIR lib/sorvane)
set(SORVANE_PROGRAMS sorvane-cli)
if(SORVANE_QT)
  list(APPEND SORVANE_PROGRAMS sorvane)
endif()
set(SORVANE_LIBRARIES sorvane-platform kinetra sonara2 sonaraogg ombrix)
set_target_properties(${SORVANE_PROGRAMS} PROPERTIES INSTALL_RPATH "$ORIGIN/../${SORVANE_LIB_DIR}")
set_target_properties(${SORVANE_LIBRARIES} PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS ${SORVANE_PROGRAMS} RUNTIME DESTINATION bin)
install(TARGETS ${SORVANE_LIBRARIES} LIBRARY DESTINATION ${SORVANE_LIB_DIR})
install(FILES packaging/sorvane.desktop DESTINATION share/applications)
# Man pages compressed, as Debian keeps them.
foreach(page sorvane.6 sorvane-cli.6 sorvane-demo.6)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/packaging/${page} > ${CMAKE_BINARY_DIR}/man/${page}.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/${page})
  list(APPEND SORVANE_MAN_PAGES ${CMAKE_BINARY_DIR}/man/${page}.gz)
endforeach()
add_custom_target(sorvane-man ALL DEPENDS ${SORVANE_MAN_PAGES})
install(FILES ${SORVANE_MAN_PAGES} DESTINATION share/man/man6)

# Generated at build time, as the demo's assets are: the icon and the demo story itself.
set(SORVANE_DEMO_OUT ${CMAKE_BINARY_DIR}/demo)
add_custom_command(
  OUTPUT ${SORVANE_DEMO_OUT}/start.svx ${CMAKE_BINARY_DIR}/sorvane.png
  COMMAND ${PROJECT_SOURCE_DIR}/stories/demo/make-assets.sh ${SORVANE_DEMO_OUT}
  COMMAND ${PROJECT_SOURCE_DIR}/packaging/make-icon.sh ${CMAKE_BINARY_DIR}/sorvane.png
  DEPENDS ${PROJECT_SOURCE_DIR}/stories/demo/make-assets.sh ${PROJECT_SOURCE_DIR}/stories/demo/src/start.svx.txt
          ${PROJECT_SOURCE_DIR}/stories/demo/src/background.knv.txt ${PROJECT_SOURCE_DIR}/packaging/make-icon.sh
  COMMENT "The demo story's assets and the icon")
add_custom_target(sorvane-assets ALL DEPENDS ${SORVANE_DEMO_OUT}/start.svx ${CMAKE_BINARY_DIR}/sorvane.png)
install(FILES ${CMAKE_BINARY_DIR}/sorvane.png DESTINATION share/icons/hicolor/64x64/apps)
# The demo as a game of its own, where games live.
install(PROGRAMS packaging/sorvane-demo DESTINATION games)
install(DIRECTORY ${SORVANE_DEMO_OUT}/ DESTINATION share/sorvane/demo PATTERN "*.log" EXCLUDE)

# make package: a Debian package of the same layout under /usr, its dependencies found by
# dpkg-shlibdeps (our own libraries are private to the package), stripped, with the debug
# symbols in a package of their own.
set(SORVANE_PACKAGE_MAINTAINER "the Sorvane developers <sorvane-devel@example.org>" CACHE STRING
    "The Debian package's maintainer, as 'Name <address>'")
set(SORVANE_DOC_DIR ${CMAKE_BINARY_DIR}/doc)
configure_file(packaging/debian/changelog ${SORVANE_DOC_DIR}/changelog @ONLY)
add_custom_command(OUTPUT ${SORVANE_DOC_DIR}/changelog.gz
  COMMAND gzip -9n -c ${SORVANE_DOC_DIR}/changelog > ${SORVANE_DOC_DIR}/changelog.gz
  DEPENDS ${SORVANE_DOC_DIR}/changelog)
add_custom_target(sorvane-doc ALL DEPENDS ${SORVANE_DOC_DIR}/changelog.gz)
install(FILES packaging/debian/copyright ${SORVANE_DOC_DIR}/changelog.gz DESTINATION share/doc/sorvane)
install(FILES packaging/debian/lintian-overrides DESTINATION share/lintian/overrides RENAME sorvane)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sorvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the Sorvane developers")
set(CPACK_PACKAGE_CONTACT "${SORVANE_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "player for illustrated, scripted text stories")
set(CPACK_PACKAGE_DESCRIPTION "Sorvane plays visual novels written in its Shift-JIS tag markup:\n text typed over pictures, choices, scene transitions and Ogg Vorbis sound.\n It comes with a short demo story, sorvane-demo.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
# SDL is loaded when the first sound plays, so dpkg-shlibdeps does not see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, libsdl2-2.0-0 (>= 2.0.12)")
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
# CPack calls ldconfig from maintainer scripts whenever libraries sit under /usr/lib, even in
# a private folder the loader never searches: the package is rebuilt without them.
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/finish-packages.cmake)
include(CPack)
