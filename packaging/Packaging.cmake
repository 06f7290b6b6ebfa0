# SPDX-License-Identifier: MIT
# Desktop integration and the Debian package. `cmake --install` puts the
# program, its menu entry and its icon under the prefix; `cpack` in the build
# tree makes kestrine_<version>_<arch>.deb of the same files.
include(GNUInstallDirs)

set(KESTRINE_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})

install(FILES ${KESTRINE_PACKAGING_DIR}/kestrine.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# Whom the helpers serve: polkit's actions and their defaults (the user at the
# machine's screen). An administrator's rules in /etc/polkit-1/rules.d change it.
install(FILES ${KESTRINE_PACKAGING_DIR}/org.kestrine.policy DESTINATION ${CMAKE_INSTALL_DATADIR}/polkit-1/actions)
# What software centres show.
install(FILES ${KESTRINE_PACKAGING_DIR}/org.kestrine.Kestrine.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The manual page and the package's own documents, compressed as Debian keeps
# them (gzip -n: no name or time stamp, so a rebuild gives the same bytes).
set(KESTRINE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/kestrine)
set(KESTRINE_VERSION ${PROJECT_VERSION})
configure_file(${KESTRINE_PACKAGING_DIR}/kestrine.1 ${PROJECT_BINARY_DIR}/packaging/kestrine.1 @ONLY)
set(compressed)
foreach(document ${PROJECT_BINARY_DIR}/packaging/kestrine.1 ${KESTRINE_PACKAGING_DIR}/debian/changelog)
  get_filename_component(name ${document} NAME)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/${name}.gz
                     COMMAND sh -c "gzip -9n -c '${document}' > '${PROJECT_BINARY_DIR}/packaging/${name}.gz'"
                     DEPENDS ${document} VERBATIM)
  list(APPEND compressed ${PROJECT_BINARY_DIR}/packaging/${name}.gz)
endforeach()
add_custom_target(kestrine_documents ALL DEPENDS ${compressed})
install(FILES ${PROJECT_BINARY_DIR}/packaging/kestrine.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_BINARY_DIR}/packaging/changelog.gz ${KESTRINE_PACKAGING_DIR}/debian/copyright
        DESTINATION ${KESTRINE_DOC_DIR})
install(FILES ${KESTRINE_PACKAGING_DIR}/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME kestrine)
# The icon is drawn at 32x32; the larger sizes are its pixels enlarged (packaging/icons).
install(FILES ${PROJECT_SOURCE_DIR}/qt/resources/kestrine.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)
foreach(size 48 64 128 256)
  install(FILES ${KESTRINE_PACKAGING_DIR}/icons/kestrine-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME kestrine.png)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrine)
set(CPACK_PACKAGE_VENDOR Kestrine)
set(CPACK_PACKAGE_CONTACT "Kestrine maintainers <maintainers@kestrine.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keeps the computer's clock right by asking a time server")
set(CPACK_PACKAGE_DESCRIPTION "Kestrine asks a time server for the time, over SNTP or the RFC 868 Time
protocol, shows the difference from the local clock and sets the clock to
the server's time, once or periodically. It can also answer the RFC 868
Time protocol on UDP port 37. The program itself holds no privilege: two
small helpers hold one capability each, for one narrow request (the clock
helper cap_sys_time, the port helper cap_net_bind_service for port 37), and
serve root and whom polkit allows: by default the user at the machine's own
screen.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Stripped programs; their debug symbols go to kestrine-dbgsym (a .ddeb), as
# Debian keeps them apart. (CPack strips what it has taken the symbols from.)
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_POST_BUILD_SCRIPTS ${KESTRINE_PACKAGING_DIR}/DebugSymbolsPackage.cmake)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://kestrine.invalid/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Written out rather than found by dpkg-shlibdeps, which is not among the build's
# packages. The program links Qt Core, Gui, Widgets and D-Bus and the C and C++ runtimes;
# it shows its window through the platform plugins, lays it out in Liberation
# Sans, and the post-install step needs setcap. The helpers are static.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 12), libqt6core6 (>= 6.4.0), libqt6gui6 (>= 6.4.0), \
libqt6widgets6 (>= 6.4.0), libqt6dbus6 (>= 6.4.0), qt6-qpa-plugins, fonts-liberation2, libcap2-bin")
# The helpers ask polkit whom to serve; without it they serve root alone, which
# a minimal system or a container may want. Every Debian desktop has it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "polkitd")

set(KESTRINE_PACKAGED_PROGRAM ${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/kestrine)
set(KESTRINE_PACKAGED_HELPERS ${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBEXECDIR}/kestrine)
configure_file(${KESTRINE_PACKAGING_DIR}/postinst.in ${PROJECT_BINARY_DIR}/packaging/postinst @ONLY)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/packaging/postinst)
# Maintainer scripts 0755 and control files 0644, whatever the checkout's modes.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)

include(CPack)
