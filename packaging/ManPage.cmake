# Makes the man page from the program's own --help and --version output
# with help2man, gzipped as Debian keeps man pages.
#
#   cmake -DPROGRAM=... -DHELP2MAN=... -DGZIP=... -DINCLUDE=... -DOUTPUT=... -P ManPage.cmake
#
# INCLUDE holds the sections --help has no room for. help2man would run the
# lines of --help's "Examples:" together into one paragraph, so they are
# handed to it as an EXAMPLES section of their own, one command a line.
foreach(variable PROGRAM HELP2MAN GZIP INCLUDE OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "ManPage.cmake: ${variable} is not set")
  endif()
endforeach()

execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed (${status})")
endif()
string(REGEX MATCH "\nExamples:\n(  [^\n]*\n)+" examples "${help}")
if(examples STREQUAL "")
  message(FATAL_ERROR "${PROGRAM} --help has no \"Examples:\" section")
endif()
string(REGEX REPLACE "^\nExamples:\n" "" examples "${examples}")
string(REGEX REPLACE "(^|\n)  " "\\1" examples "${examples}")
# roff: a backslash is written \e, and a hyphen that is a minus sign \-.
string(REPLACE "\\" "\\e" examples "${examples}")
string(REPLACE "-" "\\-" examples "${examples}")

get_filename_component(directory ${OUTPUT} DIRECTORY)
get_filename_component(name ${OUTPUT} NAME)
string(REGEX REPLACE "\\.gz$" "" page "${name}")
file(READ ${INCLUDE} sections)
file(WRITE ${directory}/${page}.h2m "${sections}\n[=EXAMPLES]\n.nf\n${examples}.fi\n")

execute_process(
  COMMAND ${HELP2MAN} --no-info --section 1
          --name "removes noise from images by total-variation flow"
          --include ${directory}/${page}.h2m --output ${directory}/${page} ${PROGRAM}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed on ${PROGRAM} (${status})")
endif()
# -n: no name or time stamp in the archive, so the same page gives the same file.
execute_process(COMMAND ${GZIP} -9nf ${directory}/${page} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed on ${directory}/${page} (${status})")
endif()
