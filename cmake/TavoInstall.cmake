# Install rules and the Debian package.
#
#   cmake --install build [--prefix P]     (DESTDIR is honoured)
#   P/bin/Tolvane_Down, tolvane-down (starts the program in its data folder), tavo-unit,
#     tavo-unit-panel
#   P/lib/tolvane-down/libVexaUSB.so, libTavoWebView.so   found by the program through its run path
#   P/share/tolvane-down/                the data files, the program's working folder
#   P/share/applications/, metainfo/, icons/hicolor/   desktop entries, metainfo, icons
#   P/share/systemd/user/tavo-unit.service              a virtual unit for the user's session
#
# The desktop entries and the service name absolute paths, so they are written when they are
# installed, with the prefix of that install (the package's is /usr).
include(GNUInstallDirs)

set(TAVO_INSTALL_PKGLIBDIR ${CMAKE_INSTALL_LIBDIR}/tolvane-down)
set(TAVO_INSTALL_PKGDATADIR ${CMAKE_INSTALL_DATADIR}/tolvane-down)
# systemd looks for user units in share/systemd/user under /usr, /usr/local and ~/.local.
set(TAVO_INSTALL_USERUNITDIR ${CMAKE_INSTALL_DATADIR}/systemd/user)

# The program loads libVexaUSB.so by name; its run path leads from bin/ to the library's
# private folder, wherever the prefix is.
file(RELATIVE_PATH TAVO_BIN_TO_PKGLIB ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR}/tolvane-down)
file(RELATIVE_PATH TAVO_BIN_TO_DATA ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_DATADIR}/tolvane-down)
set_target_properties(Tolvane_Down PROPERTIES INSTALL_RPATH "$ORIGIN/${TAVO_BIN_TO_PKGLIB}")

install(TARGETS Tolvane_Down tavo-unit tavo-unit-panel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS VexaUSB TavoWebView LIBRARY DESTINATION ${TAVO_INSTALL_PKGLIBDIR})
install(FILES ${TAVO_DATA_OUTPUTS} DESTINATION ${TAVO_INSTALL_PKGDATADIR})

configure_file(${PROJECT_SOURCE_DIR}/res/desktop/tolvane-down.in
               ${CMAKE_BINARY_DIR}/desktop/tolvane-down @ONLY)
install(PROGRAMS ${CMAKE_BINARY_DIR}/desktop/tolvane-down DESTINATION ${CMAKE_INSTALL_BINDIR})

configure_file(${PROJECT_SOURCE_DIR}/res/desktop/${TAVO_DESKTOP_ID}.metainfo.xml
               ${CMAKE_BINARY_DIR}/desktop/${TAVO_DESKTOP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/desktop/${TAVO_DESKTOP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

add_subdirectory(res/icons)
install(DIRECTORY ${TAVO_ICON_THEME_DIR} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

# A folder as the install sees it: relative ones under the prefix given at install time.
function(tavo_install_time_dir out dir)
    if(IS_ABSOLUTE "${dir}")
        set(${out} "${dir}" PARENT_SCOPE)
    else()
        set(${out} "\${CMAKE_INSTALL_PREFIX}/${dir}" PARENT_SCOPE)
    endif()
endfunction()
tavo_install_time_dir(TAVO_AT_INSTALL_BINDIR ${CMAKE_INSTALL_BINDIR})
tavo_install_time_dir(TAVO_AT_INSTALL_PKGDATADIR ${TAVO_INSTALL_PKGDATADIR})

# tavo_install_configured(TEMPLATE DESTINATION): TEMPLATE (a .in file) with @TAVO_BINDIR@ and
# @TAVO_PKGDATADIR@ filled in at install time, installed without its .in into DESTINATION.
function(tavo_install_configured template destination)
    get_filename_component(name ${template} NAME_WLE)
    set(output ${CMAKE_BINARY_DIR}/desktop/${name})
    tavo_install_time_dir(at_destination ${destination})
    install(CODE "
        set(TAVO_BINDIR \"${TAVO_AT_INSTALL_BINDIR}\")
        set(TAVO_PKGDATADIR \"${TAVO_AT_INSTALL_PKGDATADIR}\")
        configure_file(\"${template}\" \"${output}\" @ONLY)
        file(INSTALL DESTINATION \"${at_destination}\" TYPE FILE FILES \"${output}\")")
endfunction()
tavo_install_configured(${PROJECT_SOURCE_DIR}/res/desktop/${TAVO_DESKTOP_ID}.desktop.in
                        ${CMAKE_INSTALL_DATADIR}/applications)
tavo_install_configured(${PROJECT_SOURCE_DIR}/unit/panel/${TAVO_PANEL_DESKTOP_ID}.desktop.in
                        ${CMAKE_INSTALL_DATADIR}/applications)
tavo_install_configured(${PROJECT_SOURCE_DIR}/unit/tavo-unit.service.in ${TAVO_INSTALL_USERUNITDIR})

# make package: a Debian package of the same tree under /usr. Its dependencies are the
# packages of the shared libraries the executables link (Qt 6, libcurl, ...), found by
# dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tolvane-down)
set(CPACK_PACKAGE_VENDOR Ostrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Ostrel <support@ostrel.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Companion program of the Tavo speed-camera alert unit")
set(CPACK_PACKAGE_DESCRIPTION
    "Tolvane_Down keeps a Tavo GPS speed-camera alert unit's firmware and content current,\n\
edits its settings and points of interest, and recovers a unit whose firmware no longer\n\
starts. tavo-unit, a virtual unit with a window to drive it, lets it be tried without\n\
hardware.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Letters need a font; a desktop has one, a minimal system may not.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-dejavu-core)
include(CPack)
