# The project's strict warning set, as an interface target that each of our own targets
# links privately. Nothing outside the project (GoogleTest, a parent project) sees it.
add_library(dungeon_warnings INTERFACE)
if(MSVC)
    target_compile_options(dungeon_warnings INTERFACE /W4 /permissive-)
    if(DUNGEON_WERROR)
        target_compile_options(dungeon_warnings INTERFACE /WX)
    endif()
else()
    target_compile_options(dungeon_warnings INTERFACE
        -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
        -Wunused -Woverloaded-virtual -Wconversion -Wsign-conversion)
    if(DUNGEON_WERROR)
        target_compile_options(dungeon_warnings INTERFACE -Werror)
    endif()
endif()
