# Run by CPack after it made the package: writes <package>.sha256 beside each package in
# the output folder, in the form `sha256sum -c` reads ("<hash>  <file name>").
foreach(package ${CPACK_PACKAGE_FILES})
  file(SHA256 ${package} hash)
  get_filename_component(name ${package} NAME)
  file(WRITE ${CPACK_PACKAGE_DIRECTORY}/${name}.sha256 "${hash}  ${name}\n")
endforeach()
