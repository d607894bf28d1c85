# Copies Debian's pdf.js (package libjs-pdf) into our resources as marrowpanel/assets/pdfviewer/,
# with every symbolic link (web/cmaps, web/images, web/locale, ...) copied as the files it names,
# and lets the viewer open files from our own server.
#
#   cmake -DSOURCE=/usr/share/javascript/pdf -DDESTINATION=<resources>/marrowpanel/assets/pdfviewer
#         -DSERVER_ORIGIN=http://localhost:9080 -DSTAMP=<file> -P CopyPdfViewer.cmake
#
# The viewer's validateFileURL refuses a document of another origin than its own. Ours is loaded
# from the program's own scheme and reads documents from the program's server, so the copy
# allows exactly that one other origin: the one the program gives its own viewer page
# (window.quorvaneServerOrigin, set only in pages of the program's scheme), else SERVER_ORIGIN.
# Every other origin stays refused.
# Source maps are left out.
foreach(var SOURCE DESTINATION SERVER_ORIGIN STAMP)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "CopyPdfViewer.cmake needs -D${var}=...")
    endif()
endforeach()
if(NOT EXISTS "${SOURCE}/web/viewer.html")
    message(FATAL_ERROR "pdf.js is missing at ${SOURCE}: install the Debian package libjs-pdf (scripts/deps)")
endif()

file(REMOVE_RECURSE "${DESTINATION}")
file(GLOB_RECURSE files LIST_DIRECTORIES false FOLLOW_SYMLINKS RELATIVE "${SOURCE}" "${SOURCE}/*")
foreach(relative IN LISTS files)
    if(relative MATCHES "\\.map$")
        continue()  # source maps: only for debugging the viewer itself
    endif()
    get_filename_component(dir "${DESTINATION}/${relative}" DIRECTORY)
    file(MAKE_DIRECTORY "${dir}")
    # Reads through every link: the copy holds plain files only.
    file(REAL_PATH "${SOURCE}/${relative}" real)
    if(NOT EXISTS "${real}")
        continue()  # a dangling link of the package (web/compatibility.js): nothing to copy
    endif()
    file(COPY_FILE "${real}" "${DESTINATION}/${relative}")
endforeach()

# Two edits of web/viewer.js, each checked: no hosted-viewer origin skips the check (a page of our
# scheme has the opaque origin "null", which Debian's list lets through with any document), and
# the check lets our server's documents through.
set(viewer "${DESTINATION}/web/viewer.js")
file(READ "${viewer}" text)
function(patch_once from to)
    string(FIND "${text}" "${from}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "pdf.js at ${SOURCE}: web/viewer.js does not hold the expected text: ${from}")
    endif()
    string(REPLACE "${from}" "${to}" patched "${text}")
    set(text "${patched}" PARENT_SCOPE)
endfunction()
patch_once("const HOSTED_VIEWER_ORIGINS = [\"null\", \"http://mozilla.github.io\", \"https://mozilla.github.io\"];"
           "const HOSTED_VIEWER_ORIGINS = [];")
patch_once("      if (fileOrigin !== viewerOrigin) {"
           "      if (fileOrigin !== viewerOrigin && fileOrigin !== (window.quorvaneServerOrigin || \"${SERVER_ORIGIN}\")) {")
file(WRITE "${viewer}" "${text}")
file(TOUCH "${STAMP}")
