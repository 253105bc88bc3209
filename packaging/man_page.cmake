# Makes a manual page from a program's --help (or the option HELP names), at build time:
#   cmake -DPROGRAM=path -DNAME=vendra -DVERSION=x.y.z -DOUT=vendra.1.gz [-DHELP=--manual]
#         -P man_page.cmake
# The help text is the page's body, so the page never says other than the program does; a line
# in capitals alone ("FILES", "EXIT STATUS") starts a section of the page.
if(NOT HELP)
    set(HELP --help)
endif()
execute_process(COMMAND ${PROGRAM} ${HELP} OUTPUT_VARIABLE help RESULT_VARIABLE failed
                ERROR_QUIET)
if(failed)
    message(FATAL_ERROR "${PROGRAM} ${HELP} failed")
endif()
# The usage line names the program, not the path it was built at; the summary follows it.
string(REPLACE "${PROGRAM}" "${NAME}" help "${help}")
string(REGEX MATCH "^[^\n]*\n\n?([^\n]+)" summary "${help}")
string(STRIP "${CMAKE_MATCH_1}" summary)
# Backslashes, and lines that would read as requests, are escaped for roff.
string(REPLACE "\\" "\\e" body "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" body "${body}")
string(REGEX REPLACE "\n([A-Z][A-Z ]+)\n" "\n.fi\n.SH \\1\n.nf\n" body "${body}")
string(TOUPPER "${NAME}" title)
set(page ".TH ${title} 1 \"\" \"${NAME} ${VERSION}\" \"User Commands\"
.SH NAME
${NAME} \\- ${summary}
.SH DESCRIPTION
.nf
${body}
.fi
")
get_filename_component(dir ${OUT} DIRECTORY)
set(plain ${dir}/${NAME}.1)
file(WRITE ${plain} "${page}")
# As Debian wants manual pages: best compression, no name or time stamp in the header.
execute_process(COMMAND gzip -9nc ${plain} OUTPUT_FILE ${OUT} RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "gzip of ${plain} failed")
endif()
