# GoogleTest built from its sources at a pinned commit, for a build that finds none installed
# (Visual Studio without vcpkg, as in the hosted CI). The download needs git and the network.
include(FetchContent)
FetchContent_Declare(googletest
    GIT_REPOSITORY https://github.com/google/googletest.git
    GIT_TAG f8d7d77c06936315286eb55f8de22cd23c188571  # v1.14.0
    SYSTEM)
# With MSVC, GoogleTest links the C runtime as a DLL, as the game does, not statically.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
FetchContent_MakeAvailable(googletest)
# With MSVC, GoogleTest builds itself with -WX: a warning that a newer compiler adds to its
# sources would stop the tests from building. The game's own code is built with its
# warning flags as before.
foreach(target gtest gtest_main gmock gmock_main)
    get_target_property(flags ${target} COMPILE_FLAGS)
    if(flags)
        string(REPLACE "-WX" "" flags "${flags}")
        set_target_properties(${target} PROPERTIES COMPILE_FLAGS "${flags}")
    endif()
endforeach()
