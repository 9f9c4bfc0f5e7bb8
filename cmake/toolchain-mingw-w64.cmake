# Cross-builds the Windows programs (x86_64) with Debian's MinGW-w64, POSIX thread model (the
# engine uses std::thread and std::mutex). scripts/build-windows.sh passes this file.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUORVANE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUORVANE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORVANE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUORVANE_MINGW_TRIPLE}-windres)

# Libraries and headers only from the MinGW tree (and from prefixes named explicitly, such as
# the cross-built GoogleTest), never the host's; programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${QUORVANE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained executables: no libgcc, libstdc++ or winpthread DLLs to ship beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests and test discovery run the .exe files under Wine, in a prefix inside the build folder.
set(QUORVANE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
