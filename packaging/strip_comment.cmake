# Run by cpack on the staged files before it packs them: drops the .comment section (the
# compilers' version strings) from the binaries, as Debian's own strip step does. cpack's
# strip keeps it, and lintian reports it as an unneeded section.
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(file IN LISTS staged)
  if(file MATCHES "/bin/[^/]+$|\\.so$")
    execute_process(COMMAND objcopy --remove-section=.comment "${file}" RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "objcopy could not remove .comment from ${file}")
    endif()
  endif()
endforeach()
