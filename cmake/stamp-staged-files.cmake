# Run by CPack between staging and packing: gives every staged file and folder the time of
# SOURCE_DATE_EPOCH, so that archives record the commit's time instead of the build's.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    message(FATAL_ERROR "SOURCE_DATE_EPOCH is not set: packages would carry the build's time")
endif()
file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
list(APPEND staged "${CPACK_TEMPORARY_DIRECTORY}")
foreach(path IN LISTS staged)
    execute_process(COMMAND touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" "${path}"
                    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
