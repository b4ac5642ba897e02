# The Debian package korvane-client_<version>_<arch>.deb (`cpack -G DEB` in the build directory, or
# scripts/package): the client, its launcher, the desktop entry, the icons in the hicolor sizes, the
# man pages and the package documents. Only the "client" component goes in: the platform simulator
# installs too, but it is a development tool with demo keys. No maintainer scripts: installing
# changes nothing beyond these files (OpenVPN's right to make a TUN device is the admin's choice).
set(KORVANE_PACKAGE_MAINTAINER "Korvane Technologies <support@korvane.com>" CACHE STRING
    "Maintainer of the Debian package: name <address>")
set(KORVANE_PACKAGE_STAGE "${PROJECT_BINARY_DIR}/packaging")
install(TARGETS korvane-client RUNTIME DESTINATION bin COMPONENT client)
install(PROGRAMS packaging/korvane-launcher DESTINATION bin COMPONENT client)
install(FILES packaging/korvane.desktop DESTINATION share/applications COMPONENT client)
foreach(size 16 22 24 32 48 64 128 256)
    install(FILES packaging/icons/${size}x${size}/korvane.png DESTINATION share/icons/hicolor/${size}x${size}/apps
        COMPONENT client)
endforeach()
install(FILES packaging/korvane.svg DESTINATION share/icons/hicolor/scalable/apps COMPONENT client)

# Man pages and changelog are compressed as Debian wants them; -n keeps the bytes free of time stamps.
configure_file(packaging/korvane-client.1.in "${KORVANE_PACKAGE_STAGE}/korvane-client.1" @ONLY)
configure_file(packaging/changelog.in "${KORVANE_PACKAGE_STAGE}/changelog" @ONLY)
configure_file(packaging/korvane-launcher.1 "${KORVANE_PACKAGE_STAGE}/korvane-launcher.1" COPYONLY)
set(package_docs "")
foreach(document korvane-client.1 korvane-launcher.1 changelog)
    add_custom_command(OUTPUT "${KORVANE_PACKAGE_STAGE}/${document}.gz"
        COMMAND gzip -9nc "${KORVANE_PACKAGE_STAGE}/${document}" > "${KORVANE_PACKAGE_STAGE}/${document}.gz"
        DEPENDS "${KORVANE_PACKAGE_STAGE}/${document}" VERBATIM)
    list(APPEND package_docs "${KORVANE_PACKAGE_STAGE}/${document}.gz")
endforeach()
add_custom_target(korvane_package_docs ALL DEPENDS ${package_docs})
install(FILES "${KORVANE_PACKAGE_STAGE}/korvane-client.1.gz" "${KORVANE_PACKAGE_STAGE}/korvane-launcher.1.gz"
    DESTINATION share/man/man1 COMPONENT client)
install(FILES packaging/copyright "${KORVANE_PACKAGE_STAGE}/changelog.gz"
    DESTINATION share/doc/korvane-client COMPONENT client)

set(CPACK_GENERATOR DEB)
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};client;/")
set(CPACK_PACKAGE_NAME korvane-client)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Korvane Technologies")
set(CPACK_PACKAGE_CONTACT "${KORVANE_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "remote access to industrial field gateways (Korvane)")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Desktop client of the Korvane cloud platform: sign in with a platform
account, bind a TAP (an access identity) to this computer, browse the
customer's gateways with their sites and devices, and open an OpenVPN
tunnel to them that the client watches, reconnects and reports on.

Built for the platform at ${KORVANE_PLATFORM_URL}.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(KORVANE_OWN_CURL)
    # The client's own libcurl; the shared-library scan finds what it links (OpenSSL, zlib).
    install(FILES "${KORVANE_OWN_CURL}" DESTINATION lib/korvane-client/curl COMPONENT client)
    install(FILES packaging/lintian-overrides DESTINATION share/lintian/overrides RENAME korvane-client
        COMPONENT client)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "openvpn")
else()
    # libcurl is loaded at run time, so the shared-library scan does not see it.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "openvpn, libcurl4 (>= 7.85.0)")
endif()
# Chinese texts need a CJK font; Qt's own buttons need its Chinese translation.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-wqy-microhei, qttranslations5-l10n")
include(CPack)
