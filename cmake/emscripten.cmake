# Builds the game for the web with Emscripten: the toolchain of Debian's emscripten
# package, or of the SDK that EMSCRIPTEN or EMSDK point to.
set(DUNGEON_EMSCRIPTEN_TOOLCHAINS
    "$ENV{EMSCRIPTEN}/cmake/Modules/Platform/Emscripten.cmake"
    "$ENV{EMSDK}/upstream/emscripten/cmake/Modules/Platform/Emscripten.cmake"
    /usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
foreach(toolchain IN LISTS DUNGEON_EMSCRIPTEN_TOOLCHAINS)
    if(EXISTS "${toolchain}")
        include("${toolchain}")
        return()
    endif()
endforeach()
message(FATAL_ERROR "Emscripten not found: install Debian's emscripten package, or set EMSDK")
