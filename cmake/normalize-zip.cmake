# Run by CPack after it made a .zip: packs the same staged files again with their entries in
# name order and without the owner's user and group ids, which CPack's zip records, so the
# archive does not depend on the order a folder lists its files in or on who built it.
find_program(zip_tool zip REQUIRED)
foreach(package IN LISTS CPACK_PACKAGE_FILES)
    if(NOT package MATCHES "\\.zip$")
        continue()
    endif()
    cmake_path(GET CPACK_TEMPORARY_DIRECTORY PARENT_PATH staging_root)
    cmake_path(GET CPACK_TEMPORARY_DIRECTORY FILENAME top)
    file(GLOB_RECURSE entries RELATIVE "${staging_root}" "${CPACK_TEMPORARY_DIRECTORY}/*")
    list(SORT entries)
    file(REMOVE "${package}")
    # A zip records local time: UTC keeps it the same on every machine.
    execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC
                            ${zip_tool} -q -X -D -9 "${package}" ${entries}
                    WORKING_DIRECTORY "${staging_root}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
