# Copies Debian's pdf.js (package libjs-pdf) into our resources as marrowpanel/assets/pdfviewer/,
# with every symbolic link (web/cmaps, web/images, web/locale, ...) copied as the files it names,
# and lets the viewer open files from our own server.
#
#   cmake -DSOURCE=/usr/share/javascript/pdf -DDESTINATION=<resources>/marrowpanel/assets/pdfviewer
#         -DIMAGES=<source>/resources/pdfviewer-images -DSERVER_ORIGIN=http://localhost:9080
#         -DSTAMP=<file> -P CopyPdfViewer.cmake
#
# The package leaves most of the viewer's pictures out (its web/images holds the note icons, the
# spinner, the page shadow and four of the buttons): ours from IMAGES are copied over it, so
# every button is drawn in one style. Every picture that the copied stylesheet names must then
# exist, or the build stops and says which are missing.
#
# The viewer's validateFileURL refuses a document of another origin than its own. Ours is loaded
# from the program's own scheme and reads documents from the program's server, so the copy
# allows exactly that one other origin: the one the program gives its own viewer page
# (window.quorvaneServerOrigin, set only in pages of the program's scheme), else SERVER_ORIGIN.
# Every other origin stays refused.
# Source maps are left out.
foreach(var SOURCE DESTINATION IMAGES SERVER_ORIGIN STAMP)
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

# Our pictures, in place of any of the same name.
file(GLOB images LIST_DIRECTORIES false RELATIVE "${IMAGES}" "${IMAGES}/*.svg" "${IMAGES}/*.png" "${IMAGES}/*.gif")
file(MAKE_DIRECTORY "${DESTINATION}/web/images")
foreach(name IN LISTS images)
    file(COPY_FILE "${IMAGES}/${name}" "${DESTINATION}/web/images/${name}")
endforeach()

# Every url(...) of the stylesheet that names a file must be there, relative to the stylesheet's
# folder. Pictures written into the stylesheet (data: addresses, which hold ";" and ")") go first.
file(READ "${DESTINATION}/web/viewer.css" css)
string(REGEX REPLACE "url\\([ \t]*\"data:[^\"]*\"[ \t]*\\)" "" css "${css}")
string(REGEX REPLACE "url\\([ \t]*'data:[^']*'[ \t]*\\)" "" css "${css}")
string(REGEX REPLACE "url\\([ \t]*data:[^)]*\\)" "" css "${css}")
string(REGEX MATCHALL "url\\([^)]*\\)" urls "${css}")
set(missing "")
foreach(url IN LISTS urls)
    string(REGEX REPLACE "^url\\([ \t]*[\"']?([^\"')]*)[\"']?[ \t]*\\)$" "\\1" path "${url}")
    string(REGEX REPLACE "[?#].*$" "" path "${path}")
    if(NOT EXISTS "${DESTINATION}/web/${path}" OR IS_DIRECTORY "${DESTINATION}/web/${path}")
        list(APPEND missing "${path}")
    endif()
endforeach()
if(NOT urls)
    message(FATAL_ERROR "pdf.js at ${SOURCE}: web/viewer.css names no pictures; is it the viewer's stylesheet?")
endif()
if(missing)
    list(REMOVE_DUPLICATES missing)
    list(LENGTH missing count)
    list(JOIN missing "\n    " names)
    message(FATAL_ERROR "The PDF viewer's stylesheet (web/viewer.css) names ${count} picture(s) that neither "
                        "pdf.js at ${SOURCE} nor ${IMAGES} holds; draw them in ${IMAGES}:\n    ${names}")
endif()

# Edits of web/viewer.js, each checked (the build stops when the text it changes is not there):
# no hosted-viewer origin skips the check (a page of our scheme has the opaque origin "null",
# which Debian's list lets through with any document), and the check lets our server's documents
# through. A document is only data: the viewer never turns text of a document into code (font
# glyphs and PostScript functions are then interpreted, never compiled with new Function), and it
# runs no script a document holds.
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
patch_once("  isEvalSupported: {\n    value: true,"
           "  isEvalSupported: {\n    value: false,")
patch_once("  enableScripting: {\n    value: true,"
           "  enableScripting: {\n    value: false,")
file(WRITE "${viewer}" "${text}")
file(TOUCH "${STAMP}")
