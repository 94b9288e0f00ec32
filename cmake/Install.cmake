# Installation and the Debian package.
#
# The program finds its language file (and, where writable, its settings file) beside its
# executable, so the executable and DefLang.lng/Suomi.lng share a folder of their own under lib;
# bin/kelotari is a relative symbolic link to it (the program resolves its own path through the
# link, so it still looks beside the real executable).
include(GNUInstallDirs)

# Installing and packaging take what is built; they do not build every target (tests,
# benchmarks) first. scripts/package.sh builds the program, then packages it.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(KELOTARI_APP_ID "fi.kelotari.Kelotari")
set(KELOTARI_INSTALL_APPDIR "${CMAKE_INSTALL_LIBDIR}/kelotari" CACHE STRING
    "Folder (relative to the prefix) for the executable and its language files")

install(TARGETS kelotari RUNTIME DESTINATION ${KELOTARI_INSTALL_APPDIR})
install(FILES ${CMAKE_SOURCE_DIR}/lang/DefLang.lng ${CMAKE_SOURCE_DIR}/lang/Suomi.lng
        DESTINATION ${KELOTARI_INSTALL_APPDIR})

file(RELATIVE_PATH _kelotari_link_target "/${CMAKE_INSTALL_BINDIR}"
     "/${KELOTARI_INSTALL_APPDIR}/kelotari")
install(CODE "
    set(_bindir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(MAKE_DIRECTORY \"\${_bindir}\")
    file(REMOVE \"\${_bindir}/kelotari\")
    file(CREATE_LINK \"${_kelotari_link_target}\" \"\${_bindir}/kelotari\" SYMBOLIC)
    message(STATUS \"Installing: \${_bindir}/kelotari -> ${_kelotari_link_target}\")
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/kelotari\")
")

install(FILES ${CMAKE_SOURCE_DIR}/packaging/${KELOTARI_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/kelotari.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# The release in the metainfo carries the project's version.
configure_file(${CMAKE_SOURCE_DIR}/packaging/${KELOTARI_APP_ID}.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/packaging/${KELOTARI_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/${KELOTARI_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Debian package: scripts/package.sh builds it (cpack -G DEB in the build folder).
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "kelotari")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kelotari")
set(CPACK_PACKAGE_CONTACT "Kelotari developers <kelotari@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "companion program for the Kelotari wood-moisture meter")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Downloads the packets of readings stored in a Kelotari hand-held wood-moisture meter over "
    "its serial line, shows the moisture histogram of a packet, saves and loads data files, "
    "exports the packets for spreadsheets, prints packet reports and runs the meter's "
    "calibration test with its certificate.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "science")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
include(CPack)
