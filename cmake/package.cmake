# The Debian package (cpack, or the `package` target): fwupd32_<version>_<arch>.deb
# with the version of project().
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME fwupd32)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware updater for QUILMAR optical drives")
set(CPACK_PACKAGE_DESCRIPTION
    "Writes a firmware image to a QUILMAR CD-ROM or CD-R drive. Start it in\n"
    "the directory that holds the image file, or open the image file with it\n"
    "from a file manager. It reaches the drive through the kernel's SCSI\n"
    "generic driver.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${FWUPD_MAINTAINER}") # packaging/linux
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Libraries from dpkg-shlibdeps; the Qt platform plugins are loaded at run
# time, so they are named here: X11 (qt6-qpa-plugins) and Wayland
# (qt6-wayland), without which a Wayland session without X gets no windows.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wine, qt6-xdgdesktopportal-platformtheme")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
