# Runs PROGRAM with the list ARGS and fails unless it exits with EXPECTED. A failure (1)
# or a usage error (2) must also say something on standard error.
execute_process(COMMAND ${PROGRAM} ${ARGS}
    RESULT_VARIABLE status
    OUTPUT_VARIABLE out
    ERROR_VARIABLE err)
if(NOT status STREQUAL EXPECTED)
    message(FATAL_ERROR "${PROGRAM} ${ARGS}: exit status ${status}, expected ${EXPECTED}\nstdout: ${out}\nstderr: ${err}")
endif()
if(NOT EXPECTED STREQUAL "0" AND err STREQUAL "")
    message(FATAL_ERROR "${PROGRAM} ${ARGS}: exit status ${status} without a message on stderr")
endif()
