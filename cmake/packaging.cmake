# CPack turns the install rules into a player's package: a .deb on Linux, a .zip on
# Windows. `./run.sh dist` drives it and sets SOURCE_DATE_EPOCH to the commit's time; the
# top CMakeLists.txt names the package a build is for.
set(CPACK_PACKAGE_NAME dungeon)
set(CPACK_PACKAGE_VENDOR "The dungeon authors")
set(CPACK_PACKAGE_CONTACT "${DUNGEON_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "steer a hero through a dungeon to its exit")
set(CPACK_PACKAGE_DESCRIPTION
    "A small single-player game for a text terminal. The hero walks through a\n\
dungeon of 40 x 20 cells, generated afresh at every start, looking for the\n\
exit. Items raise the hero's attack and armor; monsters are fought in\n\
rounds, after each of which the player flees or fights on. All texts of\n\
the game are German.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Every staged file carries the commit's time, whenever it was built.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/stamp-staged-files.cmake)

if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME dungeon-${PROJECT_VERSION}-windows-x86_64)
    set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/normalize-zip.cmake)
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION games)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
