# Cross-compiling the Windows programs on Debian with mingw-w64 (POSIX threading model, so std::thread and
# std::mutex are available). Programs link statically and run on Windows, or under Wine for the tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VOREL_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VOREL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VOREL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VOREL_MINGW_TRIPLET}-windres)

# Libraries (zlib from libz-mingw-w64-dev) come from the mingw-w64 tree only; programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${VOREL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# CTest runs the test programs through Wine; the wrapper uses the prefix the test run has set up.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/windows/wine_run.sh)
