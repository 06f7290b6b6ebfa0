# SPDX-License-Identifier: MIT
# Who makes Kestrine and under what licence, as the Windows programs'
# version resources and the installer state it.
set(KESTRINE_COMPANY "The Kestrine authors")
set(KESTRINE_COPYRIGHT "Copyright (c) 2026 The Kestrine authors. MIT License.")

# kestrine_version_resource(TARGET DESCRIPTION): gives the Windows program
# TARGET a version resource (VERSIONINFO) with project()'s version, the
# description shown in Explorer's details and TARGET.exe as its original name.
function(kestrine_version_resource target description)
  set(KESTRINE_FILE_NAME ${target})
  set(KESTRINE_FILE_DESCRIPTION "${description}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.version.rc)
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/Version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
