# Runs PROGRAM with the list ARGS and fails unless it exits with EXPECTED. A failure (1)
# or a usage error (2) must also say something on standard error. With EXPECTED_OUT, the
# standard output must match that regular expression.
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
if(DEFINED EXPECTED_OUT AND NOT out MATCHES "${EXPECTED_OUT}")
    message(FATAL_ERROR "${PROGRAM} ${ARGS}: standard output does not match ${EXPECTED_OUT}\nstdout: ${out}")
endif()
