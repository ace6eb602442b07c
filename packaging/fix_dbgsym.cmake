# Run by cpack once it has built the packages: mends zerin-dbgsym. cpack writes its md5sums
# with the staging folder's absolute paths, so dpkg cannot verify the files and lintian
# reports each; and a debug package keeps its documentation as a link to its package's.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "-dbgsym_[^/]*\\.ddeb$")
    continue()
  endif()
  set(root "${package}.contents")
  file(REMOVE_RECURSE "${root}")
  execute_process(COMMAND dpkg-deb -R "${package}" "${root}" COMMAND_ERROR_IS_FATAL ANY)
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${root}" "${root}/usr/*")
  set(sums "")
  foreach(file IN LISTS files)
    file(MD5 "${root}/${file}" sum)
    string(APPEND sums "${sum}  ${file}\n")
  endforeach()
  file(WRITE "${root}/DEBIAN/md5sums" "${sums}")
  file(MAKE_DIRECTORY "${root}/usr/share/doc")
  file(CREATE_LINK zerin "${root}/usr/share/doc/zerin-dbgsym" SYMBOLIC)
  execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip -b "${root}" "${package}" OUTPUT_QUIET
                  COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${root}")
endforeach()
