# The Debian package and the files that make corvand a system service: the
# manual page, the systemd unit, the log rotation rules and the run folder.
#
#   packaging/build-package.sh          # corvand_<version>_<arch>.deb in build-pkg/
#
# CPack builds the package from the same install rules as `cmake --install`,
# so the package and a hand installation cannot drift apart, and the version
# comes from project(). The unit and the logrotate rules name the program by
# its installed path: configure with -DCMAKE_INSTALL_PREFIX=/usr for a package.

set(CORVAND_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR}/debian)
set(CORVAND_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)
set(CORVAND_SBIN ${CMAKE_INSTALL_PREFIX}/sbin/corvand)
set(CORVAND_SYSTEMD_UNIT_DIR "/lib/systemd/system" CACHE PATH "Where the systemd unit is installed")

# Files that name the program's path.
foreach(file corvand.service corvand.logrotate)
  file(READ ${CORVAND_PACKAGING_DIR}/${file} text)
  string(REPLACE "/usr/sbin/corvand" "${CORVAND_SBIN}" text "${text}")
  file(GENERATE OUTPUT ${CORVAND_PACKAGING_OUT}/${file} CONTENT "${text}")
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CORVAND_PACKAGING_DIR}/corvand.service ${CORVAND_PACKAGING_DIR}/corvand.logrotate)

# Debian wants the manual page and the changelog compressed, without a time
# stamp in the gzip header (-n) so that rebuilds give the same bytes.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(compressed)
foreach(file corvand.8 changelog)
  add_custom_command(
    OUTPUT ${CORVAND_PACKAGING_OUT}/${file}.gz
    COMMAND ${GZIP_PROGRAM} -9nc ${CORVAND_PACKAGING_DIR}/${file} > ${CORVAND_PACKAGING_OUT}/${file}.gz
    DEPENDS ${CORVAND_PACKAGING_DIR}/${file}
    COMMENT "Compressing ${file}")
  list(APPEND compressed ${CORVAND_PACKAGING_OUT}/${file}.gz)
endforeach()
add_custom_target(corvand_docs ALL DEPENDS ${compressed})

install(FILES ${CORVAND_PACKAGING_OUT}/corvand.8.gz DESTINATION share/man/man8)
install(FILES ${CORVAND_PACKAGING_DIR}/copyright ${CORVAND_PACKAGING_OUT}/changelog.gz
        DESTINATION share/doc/corvand)
install(FILES ${CORVAND_PACKAGING_OUT}/corvand.service
        DESTINATION ${CORVAND_ROOT}${CORVAND_SYSTEMD_UNIT_DIR})
install(FILES ${CORVAND_PACKAGING_OUT}/corvand.logrotate
        DESTINATION ${CORVAND_ROOT}/etc/logrotate.d RENAME corvand)
install(FILES ${CORVAND_PACKAGING_DIR}/corvand.tmpfiles
        DESTINATION ${CORVAND_ROOT}/usr/lib/tmpfiles.d RENAME corvand.conf)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvand)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Corvane maintainers <maintainers@corvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "filtering HTTP proxy daemon")
set(CPACK_PACKAGE_DESCRIPTION
    "corvand is an HTTP proxy that washes what passes through it: advertising\n"
    "banners, pop-up windows, web bugs, cookies, referrers, blocked URLs and media\n"
    "types. It relays HTTP/1.0, HTTP/1.1 and CONNECT, keeps connections alive and\n"
    "pools server connections. It runs as a supervised daemon with configuration\n"
    "pages in the browser, an access log in the combined layout and a security log.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# useradd and groupadd create the system user (with --prefix below DPKG_ROOT).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "passwd")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "logrotate")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CORVAND_PACKAGING_DIR}/postinst ${CORVAND_PACKAGING_DIR}/prerm
    ${CORVAND_PACKAGING_DIR}/postrm ${CORVAND_PACKAGING_DIR}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The folders the daemon writes to are made, and given to its user, by
# postinst: shipped in the package, dpkg would set them back to root at every
# upgrade, and /run is emptied at every boot anyway.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DropRuntimeFolders.cmake)
include(CPack)
