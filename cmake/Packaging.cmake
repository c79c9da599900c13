# The Debian package built by `make package` (cpack -G DEB). Its dependencies come from dpkg-shlibdeps, so
# they follow the libraries the program is actually linked against, plus the plugins Qt loads at run time.
set(IOT_PACKAGE_MAINTAINER "DARV Commissioning <commissioning@darv.example>"
    CACHE STRING "Maintainer named in the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${IOT_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "DARV")
set(CPACK_PACKAGE_VERSION ${IOT_PACKAGE_VERSION})
set(CPACK_PACKAGE_CONTACT ${IOT_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "commissioning tool for Tessaline IoT lock sensor nodes")
# Debian shows the extended description on 80-column terminals: lines stay below 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
    "Workbench tool for battery-powered lock sensor nodes. The operator connects
one node at a time over its USB virtual serial port; the tool reads the node's
configuration, identifiers, sensor thresholds and report rate, shows the form
for its communication type (Pellimar, LoRa OTAA, SigFox and their 5D
variants), writes changed settings back to the node, puts it to sleep and
registers it at the ORVA registration server.
.
A udev rule gives USB serial ports to the dialout group and keeps ModemManager
from probing them. Each user gets a commissioning journal of the nodes read,
written, registered and put to sleep.")
if(IOT_USES_DEVELOPMENT_KEY)
    string(APPEND CPACK_PACKAGE_DESCRIPTION_SUMMARY " (development key)")
    string(APPEND CPACK_PACKAGE_DESCRIPTION "
.
This build carries the published development key of the node firmware. It
must not be used with production nodes.")
endif()
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_IOT_STRIP ${CMAKE_STRIP})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/StripPackagedPrograms.cmake)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${IOT_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The registration outbox opens its SQLite file through Qt's driver plugin, which dpkg-shlibdeps cannot see.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt5sql5-sqlite")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/postinst ${PROJECT_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Read by cpack before it packages anything, and run by `make package` before it builds: refuses a development
# key package unless it was allowed.
configure_file(${CMAKE_CURRENT_LIST_DIR}/PackageKeyCheck.cmake.in ${CMAKE_BINARY_DIR}/PackageKeyCheck.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/PackageKeyCheck.cmake)

include(CPack)
