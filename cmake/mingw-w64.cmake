# Cross-compiles the game for 64-bit Windows with the MinGW-w64 tool chain.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(DUNGEON_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${DUNGEON_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${DUNGEON_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${DUNGEON_MINGW_PREFIX}-windres)

# Libraries and headers come from the target's tree only; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${DUNGEON_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained dungeon.exe, without the tool chain's runtime DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
