# Debian packages, one per install component (scripts/package.sh runs cpack):
#   zok (cli), zok-compressor (gui), libzok${ZOK_SOVERSION} (lib), libzok-dev (dev) and
#   python3-zok (python).
# Dependencies on other packages come from the binaries (dpkg-shlibdeps); the desktop entry,
# icons and MIME type are taken up by the triggers of Debian's desktop-file-utils,
# shared-mime-info and icon cache packages, so no maintainer scripts are needed for them.
set(ZOK_DEB_RELEASE 1)
set(ZOK_DEB_VERSION ${PROJECT_VERSION}-${ZOK_DEB_RELEASE})
set(ZOK_DEB_MAINTAINER "${ZOK_PRODUCT_NAME} <zok-compressor@localhost>"
    CACHE STRING "Maintainer field of the Debian packages")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zok)
set(CPACK_PACKAGE_VENDOR "${ZOK_PRODUCT_NAME}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${ZOK_DEB_MAINTAINER}")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL cli lib dev)
if(TARGET zok-compressor)
    list(APPEND CPACK_COMPONENTS_ALL gui)
endif()
if(TARGET _zok)
    list(APPEND CPACK_COMPONENTS_ALL python)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${ZOK_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZOK_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# A package's description: the summary line (product name and what the package holds), the
# product text, what ZOK does, and what the package holds, in lines of under 80 columns.
function(zok_deb_description component summary)
    string(CONCAT text
        "${ZOK_PRODUCT_NAME} - ${summary}\n"
        "${ZOK_PRODUCT_COMMENT}.\n"
        "ZOK Compressor packs files into one ZOK archive (.zok, format version 1.1.0)\n"
        "and reads them back: pictures (BMP, PNG) become PNG entries, files with names\n"
        "ending in old are stored unchanged and every other file is deflated.\n"
        "\n"
        ${ARGN})
    set(CPACK_DEBIAN_${component}_DESCRIPTION "${text}" PARENT_SCOPE)
endfunction()

set(CPACK_DEBIAN_CLI_PACKAGE_NAME zok)
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION utils)
zok_deb_description(CLI "command-line tool"
    "This package holds the command-line tool zok: create, list, cat, extract,\n"
    "bitmap, test and upgrade.")

set(CPACK_DEBIAN_GUI_PACKAGE_NAME zok-compressor)
set(CPACK_DEBIAN_GUI_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_GUI_PACKAGE_RECOMMENDS "fonts-nanum | fonts-baekmuk, qt6-translations-l10n")
zok_deb_description(GUI "desktop program"
    "This package holds the desktop program zok-compressor (Qt 6), its desktop\n"
    "entry, its icon and the MIME type of .zok files.")

set(CPACK_DEBIAN_LIB_PACKAGE_NAME libzok${ZOK_SOVERSION})
set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
zok_deb_description(LIB "shared library"
    "This package holds the shared library libzok.so.${ZOK_SOVERSION}.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libzok-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
    "libzok${ZOK_SOVERSION} (= ${ZOK_DEB_VERSION}), zlib1g-dev, libpng-dev")
zok_deb_description(DEV "library development files"
    "This package holds the headers, the static library, the CMake package\n"
    "(find_package(Zok)) and the pkg-config files (zok, and zok-static for the\n"
    "static library).")

# The Python module links libzok.so of this build, which dpkg-shlibdeps finds here; its
# package is named by hand, as are Python itself (the extension is built for one version),
# numpy and the maintainer scripts that byte-compile the module and clean up after it.
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-zok)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/packaging)
string(CONCAT CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "libzok${ZOK_SOVERSION} (= ${ZOK_DEB_VERSION}), "
    "python3 (>= ${ZOK_PYTHON_RUNTIME}~), python3 (<< ${ZOK_PYTHON_RUNTIME_NEXT}), python3-numpy")
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_SOURCE_DIR}/python3-zok/postinst ${CMAKE_CURRENT_SOURCE_DIR}/python3-zok/prerm)
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_STRICT_PERMISSION ON)
zok_deb_description(PYTHON "Python 3 module"
    "This package holds the Python 3 module zok: pack files, read entries (whole,\n"
    "streamed, or pictures as numpy arrays), extract, check and upgrade archives.")

include(CPack)
