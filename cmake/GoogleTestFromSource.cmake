# SPDX-License-Identifier: MIT
# GoogleTest compiled with the project's compiler from Debian's source package
# (googletest), for builds that cannot link the system's libgtest: the Windows
# cross build. Provides the same targets as find_package(GTest).
set(KESTRINE_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources (Debian package googletest)")
if(NOT EXISTS ${KESTRINE_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources in ${KESTRINE_GOOGLETEST_SOURCE}: install the package googletest")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${KESTRINE_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(library gtest gmock)
  # Not our code: our warning flags (and -Werror) stay off it; the tree's debug level stays on.
  set_property(TARGET ${library} PROPERTY COMPILE_OPTIONS "${KESTRINE_LINE_TABLES_OPTION}")
  if(NOT TARGET GTest::${library})
    add_library(GTest::${library} ALIAS ${library})
  endif()
endforeach()
