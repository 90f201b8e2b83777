# Makes an installable manual page: the page's title line gets the version and the date of
# this build, then the page is compressed as Debian keeps manual pages (gzip -9, no name or
# time stamp, so that two builds of one source give the same bytes).
#   cmake -DPAGE=source.1 -DOUTPUT=page.1.gz -DVERSION=1.03 -P ManPage.cmake
# The date honours SOURCE_DATE_EPOCH, which the Debian package build sets from its changelog.

file(READ "${PAGE}" text)
string(TIMESTAMP date "%Y-%m-%d" UTC)
string(REGEX REPLACE "^\\.TH ([^ ]+) ([1-9]) \"[^\"]*\" \"Vaultix[^\"]*\""
       ".TH \\1 \\2 \"${date}\" \"Vaultix ${VERSION}\"" dated "${text}")
if(dated STREQUAL text)
    message(FATAL_ERROR "${PAGE} does not begin with .TH NAME SECTION \"\" \"Vaultix\"")
endif()

get_filename_component(name "${OUTPUT}" NAME_WLE)
set(plain "${OUTPUT}.tmp/${name}")
file(WRITE "${plain}" "${dated}")
execute_process(COMMAND gzip -9 -n -c "${plain}" OUTPUT_FILE "${OUTPUT}" RESULT_VARIABLE failed)
file(REMOVE_RECURSE "${OUTPUT}.tmp")
if(failed)
    message(FATAL_ERROR "gzip could not compress ${plain}")
endif()
