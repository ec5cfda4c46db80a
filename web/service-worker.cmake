# Writes the site's service worker: the template with the release's name (the project's
# version and a digest of every other file of the site) and the list of those files.
#   cmake -DTEMPLATE=... -DOUTPUT=... -DSITE=... -DVERSION=... -DFILES=a|b|... -P service-worker.cmake
string(REPLACE "|" ";" FILES "${FILES}")
set(digest_input "")
set(file_list "")
foreach(name IN LISTS FILES)
    file(SHA256 ${SITE}/${name} file_digest)
    string(APPEND digest_input "${name} ${file_digest}\n")
    if(file_list)
        string(APPEND file_list ", ")
    endif()
    string(APPEND file_list "'${name}'")
endforeach()
string(SHA256 site_digest "${digest_input}")
string(SUBSTRING ${site_digest} 0 16 site_digest)
set(DUNGEON_RELEASE "${VERSION}-${site_digest}")
set(DUNGEON_FILES "${file_list}")
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
