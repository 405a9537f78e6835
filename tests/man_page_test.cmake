# A manual page renders without a warning from groff (-ww: all of them).
# Arguments (-D): GROFF PAGE.
execute_process(COMMAND ${GROFF} -ww -man -z ${PAGE} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status STREQUAL "0" OR NOT err STREQUAL "")
  message(FATAL_ERROR "groff on ${PAGE} (${status}):\n${err}")
endif()
