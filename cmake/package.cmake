# The Debian package: `cpack -G DEB` in a build tree (scripts/package does it from a Release build),
# and what the installed files say about the release (AppStream metadata, changelog, copyright).
include(GNUInstallDirs)

set(GLANZO_PACKAGE_NAME glanzoflash)
set(GLANZO_RELEASE_DATE 2026-12-08)   # of PROJECT_VERSION, for the AppStream release entry
set(GLANZO_APPSTREAM_ID io.github.glanzoflash.GlanzoFlash)
set(GLANZO_HOMEPAGE "https://glanzoflash.example.org" CACHE STRING "The project's home page, shown by package managers")
set(GLANZO_MAINTAINER "GlanzoFlash developers <glanzoflash@example.org>" CACHE STRING "The package's maintainer")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${GLANZO_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${GLANZO_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)   # glanzoflash_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${GLANZO_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${GLANZO_MAINTAINER})
# The libraries from the binaries themselves (dpkg-shlibdeps); the fonts the programs draw with
# are found by name at run time, so no binary names them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-liberation2)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The first line is the summary; CPack indents the rest and turns an empty line into " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "workbench for the ZOV J8 engine control module
GlanzoFlash shows the ZOV J8 ECM's serial stream live (gauges, trip computer,
spark knock map, sensor diagnostics), logs it with time stamps and markers,
plays logs back and analyses them offline, learns VE corrections into a new
calibration, and programs, verifies and reads the ECM's calibration banks.

The package also holds ZOV_J8Update, the firmware and calibration updater;
glanzo-cli, the same core without a window for scripts; and ecm-sim, a
simulated ECM on a pseudo-terminal, so that everything runs without hardware.")
include(CPack)
