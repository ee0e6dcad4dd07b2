# Writes a help2man include file with one section per tallowmere subcommand, holding
# that subcommand's --help. Run as: cmake -DTOOL=<tallowmere> -DOUT=<file> -P this file.
execute_process(COMMAND ${TOOL} --help OUTPUT_VARIABLE main_help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${TOOL} --help failed")
endif()
# The subcommands are the lines under "Subcommands:" of the main help, up to a blank line.
string(REGEX REPLACE ".*Subcommands:\n" "" listing "${main_help}")
string(REGEX REPLACE "\n\n.*" "" listing "${listing}")
string(REGEX MATCHALL "(^|\n)  [a-z]+ " names "${listing}")
set(text "")
foreach(name ${names})
  string(STRIP "${name}" name)
  execute_process(COMMAND ${TOOL} ${name} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${TOOL} ${name} --help failed")
  endif()
  # A leading dot or quote would be read as a request by the man page formatter.
  string(REGEX REPLACE "\n([.'])" "\n\\\\&\\1" help "${help}")
  string(APPEND text "[COMMAND: ${name}]\n.nf\n${help}.fi\n\n")
endforeach()
file(WRITE ${OUT} "${text}")
