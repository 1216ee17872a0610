# Outside libraries, all from Debian packages (the Makefile installs them).
find_package(Threads REQUIRED)
find_package(GTest REQUIRED)
if(SORVANE_BENCH)
  find_package(benchmark REQUIRED)
endif()
