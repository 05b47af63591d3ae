# Code compiled in one width only rots in the other (a callback that is fine in a 64-bit
# build does not compile in a 32-bit one), and a machine can run only one of them, or
# both. So every build also builds every target of the project for the other width, in
# other-width/ under the build folder: the 32-bit build compiles the 64-bit tree and the
# other way round. Only what the machine can run is run; the other tree is compile-only,
# except that a 64-bit build ships the 32-bit program built there (cmake/package.cmake).
include(ExternalProject)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(OTHER_WIDTH x86_64)
  set(OTHER_TRIPLE x86_64-w64-mingw32)
  set(OTHER_PACKAGES "g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64")
else()
  set(OTHER_WIDTH i686)
  set(OTHER_TRIPLE i686-w64-mingw32)
  set(OTHER_PACKAGES "g++-mingw-w64-i686-posix binutils-mingw-w64-i686")
endif()
find_program(OTHER_WIDTH_COMPILER ${OTHER_TRIPLE}-g++-posix)
find_program(OTHER_WIDTH_RC ${OTHER_TRIPLE}-windres)
if(NOT OTHER_WIDTH_COMPILER OR NOT OTHER_WIDTH_RC)
  message(FATAL_ERROR "The ${OTHER_WIDTH} cross compiler (${OTHER_TRIPLE}-g++-posix, "
                      "${OTHER_TRIPLE}-windres) is missing: every build compiles both widths. "
                      "Install the packages ${OTHER_PACKAGES}.")
endif()

set(OTHER_WIDTH_DIR ${CMAKE_BINARY_DIR}/other-width)
ExternalProject_Add(other_width
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${OTHER_WIDTH_DIR}
  CMAKE_ARGS -DSLIVERDISK_OTHER_WIDTH=OFF
             -DSLIVERDISK_PACKAGE=OFF
             -DSLIVERDISK_TESTS=${SLIVERDISK_TESTS}
             -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
             -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/${OTHER_WIDTH}-mingw-w64.cmake
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  LOG_CONFIGURE ON
  LOG_BUILD ON
  LOG_OUTPUT_ON_FAILURE ON)
