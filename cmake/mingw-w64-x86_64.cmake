# Cross-compiling for 64-bit Windows with mingw-w64 (posix thread model, so that
# std::thread and std::mutex exist); the tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CORVISK_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER   ${CORVISK_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CORVISK_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${CORVISK_TRIPLE}-windres)
set(CMAKE_AR           ${CORVISK_TRIPLE}-ar)
set(CMAKE_RANLIB       ${CORVISK_TRIPLE}-ranlib)

set(CMAKE_FIND_ROOT_PATH /usr/${CORVISK_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# CTest runs every Windows program through this wrapper (Wine with the test
# run's prefix and settings).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
