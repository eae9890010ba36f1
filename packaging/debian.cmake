# The Debian package of an installation under /usr: cpack -G DEB in the
# build folder writes kvzaedit_<version>_<arch>.deb. dpkg-shlibdeps finds the
# run-time dependencies (Qt, libspng, libjpeg, the C++ library); libkvza.so is
# the package's own and found through the programs' $ORIGIN run path. The
# only maintainer scripts are the ldconfig calls CPack adds for a library
# under usr/lib, which refresh the system's library cache and create nothing;
# the menu and icon caches are refreshed by the triggers of
# desktop-file-utils and the icon theme. Removing the package leaves nothing
# behind.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kvzaedit)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "KVZA editor maintainers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "raster-image editor for images with an alpha channel")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "The KVZA editor edits raster images with an alpha channel in a floating-point
colour model: resizing in five resampling modes, outline colour, edge
transparency, colour reduction with ordered dithering, grey and alpha maps.
BMP, ICO, TGA and PNG files are read and written through plug-ins, JPEG files
are read. kvzaconv does the same from the command line.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER
    "KVZA editor maintainers <maintainers@users.noreply.c-seed-0547134f.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
