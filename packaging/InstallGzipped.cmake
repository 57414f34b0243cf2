# molvane_install_gzipped(<source> <destination> <name>): installs a man page
# or a changelog compressed, as Debian wants them. Included before the
# programs' folders, so that each program installs its own man page with it.

set(MOLVANE_GENERATED ${CMAKE_BINARY_DIR}/packaging)

# Compressed without time stamps, so the package is the same at every build.
find_program(MOLVANE_GZIP gzip)
function(molvane_install_gzipped source destination name)
  set(plain ${MOLVANE_GENERATED}/gz/${destination}/${name})
  configure_file(${source} ${plain} @ONLY)
  if(MOLVANE_GZIP)
    add_custom_command(OUTPUT ${plain}.gz
      COMMAND ${MOLVANE_GZIP} -9 -n -c ${plain} > ${plain}.gz
      DEPENDS ${plain} ${source}
      VERBATIM)
    string(MAKE_C_IDENTIFIER "${destination}/${name}" id)
    add_custom_target(gzip_${id} ALL DEPENDS ${plain}.gz)
    install(FILES ${plain}.gz DESTINATION ${destination})
  else()
    install(FILES ${plain} DESTINATION ${destination})
  endif()
endfunction()
