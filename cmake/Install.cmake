# Installation and the Debian package.
#
# The program finds its shipped language files beside its executable, so the executable and
# DefLang.lng/Suomi.lng share a folder of their own under lib; bin/kelotari is a relative
# symbolic link to it (the program resolves its own path through the link, so it still looks
# beside the real executable). The marker file kelotari.installed beside them makes it an
# installed layout: the files there are read-only defaults and the settings go to each user's
# own folder (~/.config/Kelotari), for root as for anyone.
include(GNUInstallDirs)

# Installing and packaging take what is built; they do not build every target (tests,
# benchmarks) first. scripts/package.sh builds the program, then packages it.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(KELOTARI_APP_ID "fi.kelotari.Kelotari")
set(KELOTARI_INSTALL_APPDIR "${CMAKE_INSTALL_LIBDIR}/kelotari" CACHE STRING
    "Folder (relative to the prefix) for the executable and its language files")

install(TARGETS kelotari RUNTIME DESTINATION ${KELOTARI_INSTALL_APPDIR})
install(FILES ${CMAKE_SOURCE_DIR}/lang/DefLang.lng ${CMAKE_SOURCE_DIR}/lang/Suomi.lng
              ${CMAKE_SOURCE_DIR}/packaging/kelotari.installed
        DESTINATION ${KELOTARI_INSTALL_APPDIR})
# A stripped program carries no compiler notes either (as in Debian's own packages).
if(CMAKE_OBJCOPY)
    install(CODE "
        if(CMAKE_INSTALL_DO_STRIP)
            execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                                    --remove-section=.note
                            \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${KELOTARI_INSTALL_APPDIR}/kelotari\"
                            COMMAND_ERROR_IS_FATAL ANY)
        endif()
    ")
endif()

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

# Documentation: the licence in Debian's machine-readable form, the changelog of the releases
# and the manual page, the last two compressed as Debian wants them (gzip -9, no name or time
# stamp inside, so the same input gives the same bytes).
set(_kelotari_doc "${CMAKE_BINARY_DIR}/packaging/doc")
file(MAKE_DIRECTORY "${_kelotari_doc}")
find_program(KELOTARI_GZIP gzip REQUIRED)
foreach(_pair "debian/changelog;changelog.gz" "kelotari.1;kelotari.1.gz")
    list(GET _pair 0 _src)
    list(GET _pair 1 _dst)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                 "${CMAKE_SOURCE_DIR}/packaging/${_src}")
    execute_process(COMMAND ${KELOTARI_GZIP} -9nc "${CMAKE_SOURCE_DIR}/packaging/${_src}"
                    OUTPUT_FILE "${_kelotari_doc}/${_dst}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/packaging/debian/copyright ${_kelotari_doc}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/kelotari)
install(FILES ${_kelotari_doc}/kelotari.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Debian package: scripts/package.sh builds it (cpack -G DEB in the build folder).
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "kelotari")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kelotari")
set(CPACK_PACKAGE_CONTACT "Kelotari developers <kelotari@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "companion program for the Kelotari wood-moisture meter")
# One line of the control file per line here (under 80 columns); an empty line is a paragraph
# break.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Kelotari downloads the packets of readings stored in a Kelotari hand-held\n"
    "wood-moisture meter over its serial line and shows them in a table, one\n"
    "packet a row, with the moisture histogram of the selected packet.\n"
    "\n"
    "Packets are saved to and loaded from data files, exported for spreadsheets\n"
    "as an Excel workbook (.xlsx) or CSV, and printed as packet reports on a\n"
    "printer or as PDF files. The workbook reads the same in every spreadsheet\n"
    "program whatever its regional settings, and the CSV follows those of the\n"
    "PC it was made on.\n"
    "The setup dialog runs the meter's calibration test and prints its\n"
    "certificate.\n"
    "Captions and messages come from a language file (English and Finnish are\n"
    "included).")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "science")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
include(CPack)
