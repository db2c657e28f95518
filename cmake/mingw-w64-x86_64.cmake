# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 GCC (posix threads, which Qt needs).
# Used for Qt itself (tools/windows/build-qt.sh) and for Tarnwell (the windows-mingw preset).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TARNWELL_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TARNWELL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARNWELL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TARNWELL_MINGW_TRIPLET}-windres)

# Libraries and headers come from the MinGW sysroot (and the prefixes on CMAKE_PREFIX_PATH),
# programs such as moc from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${TARNWELL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
