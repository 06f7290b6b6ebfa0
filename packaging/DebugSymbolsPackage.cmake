# SPDX-License-Identifier: MIT
# Run by cpack after it has made the packages (CPACK_POST_BUILD_SCRIPTS): puts
# the debug symbols package in the form Debian's own are in. CMake 3.25 lists
# its files in md5sums by the absolute paths of its staging folder, and gives
# it no documents; Debian's points its document folder at the package's own.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "-dbgsym_.*\\.ddeb$")
    continue()
  endif()
  set(tree ${CPACK_TOPLEVEL_DIRECTORY}/ddeb-repair)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb -R ${package} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  file(MAKE_DIRECTORY ${tree}/usr/share/doc)
  file(CREATE_LINK kestrine ${tree}/usr/share/doc/kestrine-dbgsym SYMBOLIC)
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${tree} ${tree}/usr/*)
  list(SORT files)
  set(sums "")
  foreach(file IN LISTS files)
    if(NOT IS_SYMLINK ${tree}/${file})
      file(MD5 ${tree}/${file} sum)
      string(APPEND sums "${sum}  ${file}\n")
    endif()
  endforeach()
  file(WRITE ${tree}/DEBIAN/md5sums "${sums}")
  execute_process(COMMAND dpkg-deb --root-owner-group -Zxz --build ${tree} ${package} OUTPUT_QUIET
                  COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
