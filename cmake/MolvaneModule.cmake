# molvane_module(<target>): a module the program loads on first use
# (molvane-mail, molvane-sound). It sits beside the program in the build
# tree, as it does in a folder of one's own; an installed program finds it
# in its libdir. Only its entry point is exported.
function(molvane_module target)
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    # Not the static libraries inside either.
    target_link_options(${target} PRIVATE -Wl,--exclude-libs,ALL)
    if(NOT MOLVANE_SANITIZE AND NOT MOLVANE_FUZZ)
      # Everything a module needs is linked in (sanitizer runtimes come from
      # the program, so not with them).
      target_link_options(${target} PRIVATE -Wl,--no-undefined)
    endif()
  endif()
endfunction()
