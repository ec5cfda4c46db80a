# The test suite cross-built for Windows: GoogleTest from its sources (Debian's googletest
# package ships them; no GoogleTest for the target is installed anywhere), and the tests run
# under Wine through ctest.
set(DUNGEON_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH
    "GoogleTest sources, built for the target of a cross build")
if(NOT EXISTS ${DUNGEON_GTEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest sources in ${DUNGEON_GTEST_SOURCE_DIR} "
                        "(Debian: googletest); set DUNGEON_GTEST_SOURCE_DIR")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${DUNGEON_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL
                 SYSTEM)

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    find_program(DUNGEON_WINE wine)
    if(DUNGEON_WINE)
        set(DUNGEON_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
        configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
                       @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                       GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
        set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
    else()
        message(WARNING "Wine not found: the Windows tests are built but cannot run here")
    endif()
endif()
