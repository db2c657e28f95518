# The files a Windows build needs beside its programs when Qt's own deploy tool is not at hand
# (a MinGW-w64 cross build on Linux): the Qt libraries, the plugins the program loads at run time
# and the MinGW runtime libraries. They are copied beside the program and the test programs of the
# build tree, so both start as they are (under Wine too), and installed beside the program.
#
# Plugins: the Windows platform (the program), the offscreen platform (headless tests), the
# Windows style, and the ICO/CUR reader that loads the hand cursor.
set(TARNWELL_WINDOWS_QT_LIBRARIES Qt6::Core Qt6::Gui Qt6::Widgets)
set(TARNWELL_WINDOWS_QT_PLUGINS
    platforms Qt6::QWindowsIntegrationPlugin
    platforms Qt6::QOffscreenIntegrationPlugin
    styles Qt6::QWindowsVistaStylePlugin
    imageformats Qt6::QICOPlugin)

# The MinGW runtime: found where the compiler finds its own libraries.
set(TARNWELL_WINDOWS_RUNTIME_DLLS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${found}" OR NOT EXISTS "${found}")
        file(GLOB found /usr/${TARNWELL_MINGW_TRIPLET}/lib/${dll} /usr/lib/gcc/${TARNWELL_MINGW_TRIPLET}/*-posix/${dll})
        list(GET found 0 found)
    endif()
    if(NOT EXISTS "${found}")
        message(FATAL_ERROR "The MinGW runtime library ${dll} was not found")
    endif()
    list(APPEND TARNWELL_WINDOWS_RUNTIME_DLLS ${found})
endforeach()

# tarnwell_windows_runtime(<folder>...): copies the runtime into each folder when the build runs.
function(tarnwell_windows_runtime)
    set(commands)
    foreach(folder IN LISTS ARGN)
        list(APPEND commands COMMAND ${CMAKE_COMMAND} -E make_directory ${folder})
        foreach(library IN LISTS TARNWELL_WINDOWS_QT_LIBRARIES)
            list(APPEND commands COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${library}> ${folder})
        endforeach()
        if(TARGET Qt6::Test)
            list(APPEND commands COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Qt6::Test> ${folder})
        endif()
        list(APPEND commands COMMAND ${CMAKE_COMMAND} -E copy_if_different ${TARNWELL_WINDOWS_RUNTIME_DLLS} ${folder})
        set(plugins ${TARNWELL_WINDOWS_QT_PLUGINS})
        while(plugins)
            list(POP_FRONT plugins kind plugin)
            list(APPEND commands
                COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}/${kind}
                COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${plugin}> ${folder}/${kind})
        endwhile()
    endforeach()
    add_custom_target(tarnwell_windows_runtime ALL ${commands}
        COMMENT "Copying the Qt and MinGW runtime beside the programs")
endfunction()

# Installs the runtime beside the installed program (no Qt Test, no offscreen platform).
function(tarnwell_install_windows_runtime destination)
    foreach(library IN LISTS TARNWELL_WINDOWS_QT_LIBRARIES)
        install(FILES $<TARGET_FILE:${library}> DESTINATION ${destination})
    endforeach()
    install(FILES ${TARNWELL_WINDOWS_RUNTIME_DLLS} DESTINATION ${destination})
    set(plugins ${TARNWELL_WINDOWS_QT_PLUGINS})
    while(plugins)
        list(POP_FRONT plugins kind plugin)
        if(NOT plugin STREQUAL "Qt6::QOffscreenIntegrationPlugin")
            install(FILES $<TARGET_FILE:${plugin}> DESTINATION ${destination}/${kind})
        endif()
    endwhile()
endfunction()
