# The Debian package built by `make package` (cpack -G DEB). Its dependencies come from dpkg-shlibdeps, so
# they follow the libraries the program is actually linked against.
set(IOT_PACKAGE_MAINTAINER "DARV Commissioning <commissioning@darv.example>"
    CACHE STRING "Maintainer named in the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${IOT_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "DARV")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
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
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_IOT_STRIP ${CMAKE_STRIP})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/StripPackagedPrograms.cmake)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${IOT_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/postinst ${PROJECT_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
