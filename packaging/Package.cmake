# Installation and the Debian package.
#
# `cmake --install <build>` puts the program, its modules, the sample data,
# the manual, the icons, the desktop entry, the AppStream metadata, the man
# pages and the copyright in the standard places. The package is built from
# exactly these rules (cpack -G DEB), so every program that has an install
# rule of its own, in any folder, goes into the same package; it installs its
# man page with molvane_install_gzipped (packaging/InstallGzipped.cmake).

set(MOLVANE_APP_ID org.molvane.Molvane)
set(MOLVANE_DATA_DESTINATION ${CMAKE_INSTALL_DATADIR}/molvane)
set(MOLVANE_DOC_DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/molvane)
set(MOLVANE_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})

install(TARGETS molvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS molvane-mail molvane-sound LIBRARY DESTINATION ${MOLVANE_MODULE_DESTINATION})

install(DIRECTORY ${CMAKE_SOURCE_DIR}/sample/ DESTINATION ${MOLVANE_DATA_DESTINATION}/sample)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/doc/manual/ DESTINATION ${MOLVANE_DATA_DESTINATION}/manual)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/res/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES ${CMAKE_SOURCE_DIR}/res/${MOLVANE_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${CMAKE_SOURCE_DIR}/res/${MOLVANE_APP_ID}.metainfo.xml
  ${MOLVANE_GENERATED}/${MOLVANE_APP_ID}.metainfo.xml @ONLY)
install(FILES ${MOLVANE_GENERATED}/${MOLVANE_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${MOLVANE_PACKAGING_DIR}/copyright DESTINATION ${MOLVANE_DOC_DESTINATION})

molvane_install_gzipped(${CMAKE_SOURCE_DIR}/doc/molvane.1 ${CMAKE_INSTALL_MANDIR}/man1 molvane.1)
molvane_install_gzipped(${CMAKE_SOURCE_DIR}/doc/ja/molvane.1 ${CMAKE_INSTALL_MANDIR}/ja/man1 molvane.1)
molvane_install_gzipped(${MOLVANE_PACKAGING_DIR}/changelog ${MOLVANE_DOC_DESTINATION} changelog)

# The manual bundled beside the program in the build tree, as in a folder of
# one's own, so that the program built here finds it.
add_custom_target(molvane_manual ALL
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/doc/manual ${CMAKE_BINARY_DIR}/manual
  COMMENT "Copying the manual beside the program")

# The Debian package: cpack -G DEB in the build folder.
set(CPACK_PACKAGE_NAME molvane)
set(CPACK_PACKAGE_VENDOR "Molvane 開発チーム")
set(CPACK_PACKAGE_CONTACT "Molvane 開発チーム <molvane@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "timed five-choice tests with results mailed to a supervisor")
set(CPACK_PACKAGE_DESCRIPTION "Molvane runs short five-choice tests with a Japanese user interface. A
candidate types a name and answers timed questions read from a question
file of fixed Shift-JIS records; every answer is judged at once, with a
sound and a short popup. A supervisor receives a start mail and a result
mail over SMTP (with TLS).

Administrators maintain question files in the question editor and the test
settings and mail account in the settings dialog. The package holds sample
data, which the first start copies into the per-user folder ~/Molvane, and
a user manual in Japanese.")
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Dependencies come from the libraries the programs and modules link. What
# no library link shows is named here: the toolkit's Japanese texts; a font
# with Japanese glyphs, from the families the dialogs ask for (the first is
# the one their layout was measured with), without which every text is drawn
# as empty boxes; and the certificate authorities that every mail and
# mailbox connection checks its server against (TLS is required).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "qt6-translations-l10n, fonts-ipafont-gothic | fonts-noto-cjk | fonts-vlgothic, ca-certificates")
# The desktop's opener opens the manual (説明, molvane --manual).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
include(CPack)
