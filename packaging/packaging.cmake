# SPDX-License-Identifier: GPL-3.0-or-later
# Install rules and the Debian package (cpack in the build folder).
#
# Installed layout: the programs in bin, the empty archive in share/velbor.
# An installed copy recognises itself by that archive in ../share/velbor and
# keeps its own files in the user's folders (platform/Paths.h), so these two
# destinations are fixed.

# The archive shipped in the package is made afresh from the schema, apart from
# the one beside the built program, which may hold what a developer typed.
set(VELBOR_SHIPPED_ARCHIVE ${CMAKE_BINARY_DIR}/shipped/Velbor.mdb)
add_custom_command(OUTPUT ${VELBOR_SHIPPED_ARCHIVE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/shipped
  COMMAND ${CMAKE_COMMAND} -E rm -f ${VELBOR_SHIPPED_ARCHIVE}
  COMMAND velbor_mkarchive ${VELBOR_SHIPPED_ARCHIVE}
  DEPENDS velbor_mkarchive ${CMAKE_SOURCE_DIR}/data/engines/schema.sql)
add_custom_target(shipped_archive ALL DEPENDS ${VELBOR_SHIPPED_ARCHIVE})

if(TARGET velbor)
  install(TARGETS velbor RUNTIME DESTINATION bin)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/velbor.desktop DESTINATION share/applications)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/velbor.svg DESTINATION share/icons/hicolor/scalable/apps)
endif()
install(TARGETS velbor_admin RUNTIME DESTINATION bin)
install(FILES ${VELBOR_SHIPPED_ARCHIVE} DESTINATION share/velbor)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION share/doc/velbor)

set(VELBOR_MAINTAINER "The Velbor developers <sviluppo@velbor.invalid>" CACHE STRING
    "Maintainer named in the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velbor)
set(CPACK_PACKAGE_VENDOR "The Velbor developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "registro dei clienti e dei progetti per studi tecnici")
set(CPACK_PACKAGE_DESCRIPTION
    "Velbor registra clienti e progetti, con le voci di primo e secondo livello,
le loro cartelle, i disegni allegati e le pagine di note. Più postazioni
lavorano insieme su una cartella dati condivisa.

Il pacchetto contiene anche velbor_admin, lo strumento di amministrazione
dell'archivio.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELBOR_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION office)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries the programs link come from dpkg-shlibdeps; what Qt loads at
# run time is named here: the SQLite driver and Qt's Italian translation
# (buttons reading "Sì" and "No"). The X11 platform plugin comes with
# libqt6gui6, which shlibdeps already names.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, qt6-translations-l10n")
# pg_dump and pg_restore, for the administration tool's backups of an archive
# on a server.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "postgresql-client")
include(CPack)
