# Shared by the brim command tests: a fresh WORK folder, and
# expect(CODE OUTPUT_REGEX ARGS...), which runs brim ARGS in WORK, checks the
# exit code and that standard output followed by standard error matches the
# regex (kept in LAST). BRIM_INPUT may name an INPUT_FILE for standard input.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

function(expect code regex)
  execute_process(COMMAND ${BRIM} ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err
    WORKING_DIRECTORY ${WORK} ${BRIM_INPUT})
  if(NOT rc EQUAL code)
    message(FATAL_ERROR "brim ${ARGN}: exit ${rc}, expected ${code}\n${out}${err}")
  endif()
  if(NOT "${out}${err}" MATCHES "${regex}")
    message(FATAL_ERROR "brim ${ARGN}: output does not match '${regex}':\n${out}${err}")
  endif()
  set(LAST "${out}${err}" PARENT_SCOPE)
endfunction()
