# `cpack -G DEB` packs everything `cmake --install` installs into a Debian
# package for /usr. Its dependencies are the packages dpkg-shlibdeps finds for
# the libraries the programs link, plus the Qt platform plugins, which Qt
# loads at run time and so no linker records.
set(CPACK_PACKAGE_NAME trovalo)
set(CPACK_PACKAGE_VENDOR "The Trovalo developers")
set(CPACK_PACKAGE_CONTACT "The Trovalo developers <dev@trovalo.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keeps your files safe on USB drives")
set(CPACK_PACKAGE_DESCRIPTION
  "Trovalo lives in the tray of a Linux desktop; for each USB drive it keeps
backup jobs (plain copies or ZIP archives), move jobs and two-way sync jobs,
stored on the drive itself. trovalo-cli and a systemd user service run the
same jobs and schedules without a desktop.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS udisks2)
include(CPack)
