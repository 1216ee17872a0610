# Outside libraries, all from Debian packages (the Makefile installs them).
find_package(Threads REQUIRED)
if(SORVANE_TESTS)
  find_package(GTest REQUIRED)
endif()
if(SORVANE_BENCH)
  find_package(benchmark REQUIRED)
endif()

# Exports exactly the named symbols of a shared library (nothing the linker adds).
function(sorvane_exports target)
  set(script "${CMAKE_CURRENT_BINARY_DIR}/${target}.exports")
  list(JOIN ARGN "; " symbols)
  file(WRITE "${script}" "{ global: ${symbols}; local: *; };\n")
  target_link_options(${target} PRIVATE "-Wl,--version-script=${script}")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${script}")
endfunction()
