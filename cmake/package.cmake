# `make deb`: a Debian package of what `make install` installs, built by CPack
# from a build configured for /usr. Its Depends come from the binaries
# (dpkg-shlibdeps); the engine's shlibs file from CPack, and the ldconfig
# trigger that updates the linker's cache for it from packaging/triggers.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zarn)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "zarn-cli developers <zarn-cli@users.noreply.invalid>"
    CACHE STRING "The package's Maintainer")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "fingerprint templates from images, and a matcher to compare them")
# The lines under the summary, which CPack puts first.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "zarn-cli turns one or more fingerprint images of one finger into one
ISO/IEC 19794-2:2005 finger minutiae template, printed as hexadecimal text.
zarn-match verifies a template against others or searches a gallery.
.
The package also holds the default engine, libzarn.so.1, with its headers,
a pkg-config file and a CMake package for programs that call it.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/triggers)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
include(CPack)
