# Install layout, desktop integration and packages (CPack).
#
# The program looks for its files ("Samples", the skin "x/o.cjs", the cursor "HAND-M.CUR") in the
# folder that holds the program file, so that folder is installed as one unit:
#   Linux:   <prefix>/lib/tarnwell/{tarnwell,Samples,x,HAND-M.CUR}, a relative link
#            <prefix>/bin/tarnwell -> ../lib/tarnwell/tarnwell, the desktop file, the AppStream
#            metainfo and the icon in the hicolor sizes.  cpack -G DEB builds the package.
#   Windows: <prefix>/bin/{tarnwell.exe,Samples,x,HAND-M.CUR} plus the Qt libraries and plugins:
#            copied by our own rules when cross-built with MinGW-w64, added by Qt's deploy script
#            (windeployqt) with MSVC.  cpack -G ZIP builds the archive, cpack -G NSIS the installer
#            (our own script, dist/windows/NSIS.template.in), both of the same files.
include(GNUInstallDirs)

set(TARNWELL_APP_ID com.kestrelby.Tarnwell)
set(TARNWELL_BUNDLE_DIR ${PROJECT_SOURCE_DIR}/bundle)
set(TARNWELL_ICON_SIZES 16 24 32 48 64 128 256)

if(WIN32)
    set(TARNWELL_INSTALL_PROGRAM_DIR ${CMAKE_INSTALL_BINDIR})
else()
    set(TARNWELL_INSTALL_PROGRAM_DIR lib/tarnwell)
endif()

install(TARGETS tarnwell RUNTIME DESTINATION ${TARNWELL_INSTALL_PROGRAM_DIR})
install(DIRECTORY ${TARNWELL_BUNDLE_DIR}/ DESTINATION ${TARNWELL_INSTALL_PROGRAM_DIR})

if(WIN32 AND MINGW)
    # Cross-built with MinGW-w64: the Qt and MinGW libraries and the plugins go beside the program
    # (Qt finds plugins in the program's folder), see cmake/WindowsRuntime.cmake.
    tarnwell_install_windows_runtime(${TARNWELL_INSTALL_PROGRAM_DIR})
elseif(WIN32)
    # Qt 6.4: windeployqt copies the Qt DLLs beside the program and the plugins to <prefix>/plugins,
    # and writes bin/qt.conf that points there.
    qt_generate_deploy_app_script(TARGET tarnwell FILENAME_VARIABLE tarnwell_deploy_script)
    install(SCRIPT ${tarnwell_deploy_script})
    # The MSVC runtime DLLs beside the program, so that the archive runs without vc_redist.
    set(CMAKE_INSTALL_SYSTEM_RUNTIME_DESTINATION ${TARNWELL_INSTALL_PROGRAM_DIR})
    include(InstallRequiredSystemLibraries)
else()
    # The link on the PATH. It is made at install time so that DESTDIR (and CPack's staging
    # folder) is honoured; it is relative so that the installed tree can move as a whole.
    file(RELATIVE_PATH tarnwell_link_target /${CMAKE_INSTALL_BINDIR} /${TARNWELL_INSTALL_PROGRAM_DIR}/tarnwell)
    install(CODE "
        set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/tarnwell\")
        message(STATUS \"Installing: \${link} -> ${tarnwell_link_target}\")
        file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
        file(REMOVE \"\${link}\")
        file(CREATE_LINK \"${tarnwell_link_target}\" \"\${link}\" SYMBOLIC)
        list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${link}\")")

    install(FILES ${PROJECT_SOURCE_DIR}/dist/${TARNWELL_APP_ID}.desktop
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
    install(FILES ${PROJECT_SOURCE_DIR}/dist/${TARNWELL_APP_ID}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)
    # The same pictures the window uses for its icon.
    foreach(size IN LISTS TARNWELL_ICON_SIZES)
        install(FILES ${PROJECT_SOURCE_DIR}/src/look/icons/tarnwell-${size}.png
                DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}x${size}/apps
                RENAME ${TARNWELL_APP_ID}.png)
    endforeach()
endif()

# Packages.
set(CPACK_PACKAGE_NAME tarnwell)
set(CPACK_PACKAGE_VENDOR Kestrelby)
set(CPACK_PACKAGE_CONTACT "Kestrelby <tarnwell@kestrelby.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Append a text to many files, only where a second text does or does not occur")
set(CPACK_PACKAGE_DESCRIPTION "Tarnwell appends one text to the end of many files in one batch, but only to
the files in which a second text does, or does not, occur. It keeps each file's
own encoding and can write the results as new files into an output folder.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://kestrelby.com/tarnwell")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Tarnwell)
set(CPACK_STRIP_FILES ON)
if(WIN32)
    set(CPACK_GENERATOR ZIP NSIS)
    set(CPACK_PACKAGE_FILE_NAME Tarnwell-${PROJECT_VERSION}-windows-x64)
    # The installer: per user without administrator rights by default, for all users as an
    # option, with a Start-menu entry, an entry under installed apps and an uninstaller.
    set(CPACK_MODULE_PATH ${PROJECT_SOURCE_DIR}/dist/windows)
    set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/src/look/icons/tarnwell.ico)
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    # Not found by the library scan: the X11 platform plugin that Qt loads at run time, and the
    # Arial-metric fonts that the window's layout is measured in.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation")
endif()
include(CPack)

# Checks of the desktop files, the install layout and the installed program's start-up.
if(TARNWELL_BUILD_TESTS)
    find_program(APPSTREAMCLI_EXECUTABLE appstreamcli)
    find_program(DESKTOP_FILE_VALIDATE_EXECUTABLE desktop-file-validate)
    if(APPSTREAMCLI_EXECUTABLE)
        add_test(NAME dist_metainfo_valid COMMAND ${APPSTREAMCLI_EXECUTABLE} validate --no-net --pedantic
                 ${PROJECT_SOURCE_DIR}/dist/${TARNWELL_APP_ID}.metainfo.xml)
    endif()
    if(DESKTOP_FILE_VALIDATE_EXECUTABLE)
        add_test(NAME dist_desktop_file_valid COMMAND ${DESKTOP_FILE_VALIDATE_EXECUTABLE}
                 ${PROJECT_SOURCE_DIR}/dist/${TARNWELL_APP_ID}.desktop)
    endif()

    # Runs the window's real start-up against an installed program folder.
    add_executable(tarnwell_install_check ${PROJECT_SOURCE_DIR}/dist/InstallCheck.cpp)
    target_include_directories(tarnwell_install_check PRIVATE ${PROJECT_SOURCE_DIR}/tests/window)
    target_link_libraries(tarnwell_install_check PRIVATE tarnwell_window tarnwell_options)
    set_target_properties(tarnwell_install_check PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

    if(NOT WIN32)
        # Installs into a scratch folder (DESTDIR) and checks the layout and the start-up there.
        add_test(NAME dist_install_layout
                 COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                         bash ${PROJECT_SOURCE_DIR}/dist/check-install-tree.sh ${CMAKE_BINARY_DIR}
                         $<TARGET_FILE:tarnwell_install_check>)
        set_tests_properties(dist_install_layout PROPERTIES TIMEOUT 300)
    endif()
endif()
