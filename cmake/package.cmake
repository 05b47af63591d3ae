# The release: `cmake --build <build> --target package` makes
# sliverdisk-<version>-win32.zip (sliverdisk.exe, README.txt with Windows line ends,
# LICENSE.txt) and sliverdisk-<version>-win32.zip.sha256 beside it.
#
# The program shipped is the 32-bit one. A 64-bit build (made where 32-bit code cannot
# run, so that the tests can) ships the 32-bit program of its other-width/ tree
# (cmake/other_width.cmake). Its own 64-bit program goes into a package only when the
# component `this_build` is asked for, as the package test does to start it:
#   cpack -D CPACK_COMPONENTS_ALL="documents;this_build" ...

set(PACKAGE_STAGE ${CMAKE_BINARY_DIR}/package-files)
configure_file(${CMAKE_SOURCE_DIR}/docs/README.txt.in ${PACKAGE_STAGE}/README.txt
  @ONLY NEWLINE_STYLE CRLF)
configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${PACKAGE_STAGE}/LICENSE.txt
  @ONLY NEWLINE_STYLE CRLF)
install(FILES ${PACKAGE_STAGE}/README.txt ${PACKAGE_STAGE}/LICENSE.txt
  DESTINATION . COMPONENT documents)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  install(TARGETS sliverdisk RUNTIME DESTINATION . COMPONENT program)
else()
  if(NOT SLIVERDISK_OTHER_WIDTH)
    message(FATAL_ERROR "A 64-bit build ships the 32-bit program of its other-width/ tree: "
                        "configure it with SLIVERDISK_OTHER_WIDTH=ON")
  endif()
  install(PROGRAMS ${OTHER_WIDTH_DIR}/sliverdisk.exe DESTINATION . COMPONENT program)
  install(TARGETS sliverdisk RUNTIME DESTINATION . COMPONENT this_build EXCLUDE_FROM_ALL)
endif()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME sliverdisk)
set(CPACK_PACKAGE_VENDOR "The Sliverdisk Project")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME sliverdisk-${PROJECT_VERSION}-win32)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# One archive of the chosen components; the package test chooses others.
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL documents program)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/write_checksum.cmake)
include(CPack)
