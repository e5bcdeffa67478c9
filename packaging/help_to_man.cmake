# Writes a manual page from a program's --help text, so the page says what the program says.
# cmake -DPROGRAM=path -DNAME=etherm-batch -DSUMMARY="..." -DOUT=file.1 -P help_to_man.cmake
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE status
                ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help ended with ${status}: ${errors}")
endif()
# roff: a backslash is written \e; a line starting with '.' or ''' would be a request.
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(REGEX REPLACE "(^|\n)-" "\\1\\\\-" help "${help}")
string(TOUPPER "${NAME}" title)
file(WRITE "${OUT}"
     ".TH ${title} 1 \"\" \"etherm\" \"User Commands\"\n"
     ".SH NAME\n${NAME} \\- ${SUMMARY}\n"
     ".SH DESCRIPTION\n.nf\n${help}.fi\n"
     ".SH SEE ALSO\netherm(1), etherm\\-batch(1), etherm\\-sim(1), etherm\\-sweep(1), "
     "etherm\\-foster(1); the user's guide in /usr/share/doc/etherm\n")
