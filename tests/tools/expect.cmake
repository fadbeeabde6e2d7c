# expect(CODE REGEX ARGS...): brim ARGS in a fresh WORK with XDG folders; output then error kept in LAST.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/config ${WORK}/runtime)
file(CHMOD ${WORK}/runtime DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
set(ENV{XDG_CONFIG_HOME} ${WORK}/config)
set(ENV{XDG_RUNTIME_DIR} ${WORK}/runtime)

# require(MESSAGE CONDITION...): fails with MESSAGE unless if(CONDITION) holds.
function(require what)
  if(NOT (${ARGN}))
    message(FATAL_ERROR "${what}")
  endif()
endfunction()

function(expect code regex)
  execute_process(COMMAND ${BRIM} ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err
    WORKING_DIRECTORY ${WORK} ${BRIM_INPUT})
  require("brim ${ARGN}: exit ${rc}, expected ${code}\n${out}${err}" rc EQUAL code)
  if(NOT "${out}${err}" MATCHES "${regex}")
    message(FATAL_ERROR "brim ${ARGN}: output does not match '${regex}':\n${out}${err}")
  endif()
  set(LAST "${out}${err}" PARENT_SCOPE)
endfunction()
