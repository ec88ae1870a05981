# Cross toolchain: Debian 12 mingw-w64, i686, win32 thread model; programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)

# The unsuffixed compiler names are update-alternatives links that a machine may
# point at the -posix variant; pin the win32 thread model.
set(CMAKE_C_COMPILER   /usr/bin/${TOOLCHAIN_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER /usr/bin/${TOOLCHAIN_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER  /usr/bin/${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_AR           /usr/bin/${TOOLCHAIN_PREFIX}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB       /usr/bin/${TOOLCHAIN_PREFIX}-ranlib CACHE FILEPATH "")
set(CMAKE_OBJDUMP      /usr/bin/${TOOLCHAIN_PREFIX}-objdump CACHE FILEPATH "")
set(CMAKE_NM           /usr/bin/${TOOLCHAIN_PREFIX}-nm CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Fully static runtime: no libgcc_s_dw2-1.dll, libstdc++-6.dll or libwinpthread-1.dll.
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Every test program runs under Wine, in a 32-bit prefix of the build tree, in the
# Russian locale (Wine takes its ANSI code page, 1251, from it).
set(WINE_PREFIX_DIR "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "WINEPREFIX used by the tests")
set(CMAKE_CROSSCOMPILING_EMULATOR
    /usr/bin/env
    "WINEPREFIX=${WINE_PREFIX_DIR}"
    WINEARCH=win32
    WINEDEBUG=-all
    "WINEDLLOVERRIDES=mscoree,mshtml="
    LANG=ru_RU.UTF-8
    LC_ALL=ru_RU.UTF-8
    ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
