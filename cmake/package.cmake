# The release: `cmake --build <build> --target package` makes
# sliverdisk-<version>-win32.zip (sliverdisk.exe, README.txt with Windows line ends,
# LICENSE.txt) and sliverdisk-<version>-win32.zip.sha256 beside it.
#
# The program shipped is the 32-bit one. A 64-bit build (made where 32-bit code cannot
# run, so that the tests can) builds the 32-bit program as well, in win32-program/ under
# its own folder, and ships that. Its own 64-bit program goes into a package only when
# the component `this_build` is asked for, as the package test does to start it:
#   cpack -D CPACK_COMPONENTS_ALL="documents;this_build" ...
# Without a 32-bit compiler, a 64-bit build ships its own program in
# sliverdisk-<version>-win64.zip and says so when it is configured.

set(PACKAGE_STAGE ${CMAKE_BINARY_DIR}/package-files)
configure_file(${CMAKE_SOURCE_DIR}/docs/README.txt.in ${PACKAGE_STAGE}/README.txt
  @ONLY NEWLINE_STYLE CRLF)
configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${PACKAGE_STAGE}/LICENSE.txt
  @ONLY NEWLINE_STYLE CRLF)
install(FILES ${PACKAGE_STAGE}/README.txt ${PACKAGE_STAGE}/LICENSE.txt
  DESTINATION . COMPONENT documents)

set(PACKAGE_PLATFORM win32)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  install(TARGETS sliverdisk RUNTIME DESTINATION . COMPONENT program)
else()
  find_program(I686_COMPILER i686-w64-mingw32-g++-posix)
  if(I686_COMPILER)
    include(ExternalProject)
    set(WIN32_PROGRAM_DIR ${CMAKE_BINARY_DIR}/win32-program)
    ExternalProject_Add(win32_program
      SOURCE_DIR ${CMAKE_SOURCE_DIR}
      BINARY_DIR ${WIN32_PROGRAM_DIR}
      CMAKE_ARGS -DSLIVERDISK_TESTS=OFF
                 -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/i686-mingw-w64.cmake
      BUILD_COMMAND ${CMAKE_COMMAND} --build ${WIN32_PROGRAM_DIR} --target sliverdisk
      BUILD_ALWAYS ON
      INSTALL_COMMAND ""
      LOG_CONFIGURE ON
      LOG_BUILD ON
      LOG_OUTPUT_ON_FAILURE ON)
    install(PROGRAMS ${WIN32_PROGRAM_DIR}/sliverdisk.exe DESTINATION . COMPONENT program)
  else()
    message(WARNING "No 32-bit compiler (i686-w64-mingw32-g++-posix): the package will hold "
                    "this build's 64-bit program, as sliverdisk-${PROJECT_VERSION}-win64.zip")
    set(PACKAGE_PLATFORM win64)
    install(TARGETS sliverdisk RUNTIME DESTINATION . COMPONENT program)
  endif()
  install(TARGETS sliverdisk RUNTIME DESTINATION . COMPONENT this_build EXCLUDE_FROM_ALL)
endif()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME sliverdisk)
set(CPACK_PACKAGE_VENDOR "The Sliverdisk Project")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME sliverdisk-${PROJECT_VERSION}-${PACKAGE_PLATFORM})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# One archive of the chosen components; the package test chooses others.
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL documents program)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/write_checksum.cmake)
include(CPack)
