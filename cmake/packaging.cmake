# Installation and packages: "cmake --install" puts the program, the simulator, the manual pages
# and the sample in the usual places; CPack makes qel32_<version>_amd64.deb on Linux and
# Qel32-<version>-win64.zip for Windows (Qel32.exe, the read-me in both languages as Windows
# reads them, the sample).

# The version is the file version of res/version.h: one source for the resource, About and
# the packages.
file(STRINGS ${CMAKE_SOURCE_DIR}/res/version.h versionLine
     REGEX "#define QEL32_FILE_VERSION_TEXT")
string(REGEX MATCH "\"([0-9, ]+)\"" _ "${versionLine}")
string(REPLACE ", " "." QEL32_VERSION "${CMAKE_MATCH_1}")

set(CPACK_PACKAGE_NAME qel32)
set(CPACK_PACKAGE_VERSION ${QEL32_VERSION})
set(CPACK_PACKAGE_VENDOR "The Qel32 team")
set(CPACK_PACKAGE_CONTACT "The Qel32 team <qel32@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "upgrade the firmware of an instrument over a serial port")
set(CPACK_STRIP_FILES TRUE)

if(WIN32)
    # Text files as Windows reads them: the ANSI code page (1252) and CR LF.
    foreach(name README.TXT LISEZMOI.TXT)
        add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${name}
            COMMAND iconv -f UTF-8 -t CP1252 ${CMAKE_SOURCE_DIR}/doc/${name}
                    | sed "s/$/\\r/" > ${CMAKE_BINARY_DIR}/${name}
            DEPENDS ${CMAKE_SOURCE_DIR}/doc/${name} VERBATIM)
        list(APPEND windowsTexts ${CMAKE_BINARY_DIR}/${name})
    endforeach()
    add_custom_target(windows_texts ALL DEPENDS ${windowsTexts})
    # One folder in the zip: "Extract here" makes it, and nothing lands beside the zip (a
    # README.TXT of the Downloads folder overwritten, its *.HEX listed by the program).
    set(windowsFolder "Qel32-${QEL32_VERSION}")
    install(TARGETS Qel32 RUNTIME DESTINATION ${windowsFolder})
    install(FILES ${windowsTexts} samples/QELDEMO.HEX DESTINATION ${windowsFolder})
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME "Qel32-${QEL32_VERSION}-win64")
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
    include(GNUInstallDirs)
    set(docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/qel32)
    # Debian wants manual pages and the changelog compressed, reproducibly.
    foreach(source doc/qel32.1 doc/qelsim.1 doc/changelog)
        get_filename_component(name ${source} NAME)
        add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${name}.gz
            COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/${source} > ${CMAKE_BINARY_DIR}/${name}.gz
            DEPENDS ${CMAKE_SOURCE_DIR}/${source} VERBATIM)
        list(APPEND compressed ${CMAKE_BINARY_DIR}/${name}.gz)
    endforeach()
    add_custom_target(compressed_docs ALL DEPENDS ${compressed})
    install(TARGETS qel32 qelsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${CMAKE_BINARY_DIR}/qel32.1.gz ${CMAKE_BINARY_DIR}/qelsim.1.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES doc/copyright ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${docdir})
    install(FILES samples/QELDEMO.HEX DESTINATION ${docdir}/examples)
    set(CPACK_GENERATOR DEB)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    # The synopsis is the summary; these are the lines below it.
    string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
        "Qel32 checks Intel HEX upgrade files, asks the instrument's monitor\n"
        "to identify itself, matches its monitors against the compatibility\n"
        "lists of the files and sends each file line by line, with\n"
        "acknowledgements and retries, in French or English.\n"
        "The package holds qel32, the console program, and qelsim, a\n"
        "simulated instrument on a pseudo-terminal.")
endif()
include(CPack)
