# Runs as a ctest script: install, configure the host, build it, run it.
file(REMOVE_RECURSE ${WORK_DIR})
set(PREFIX ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}")
  endif()
  set(LAST_OUTPUT "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})
foreach(f include/brim/brim.h lib/cmake/BrimCommon/BrimCommonConfig.cmake lib/pkgconfig/brimcommon.pc)
  if(NOT EXISTS ${PREFIX}/${f})
    message(FATAL_ERROR "missing after install: ${f}")
  endif()
endforeach()

set(flags "")
if(SANITIZE)
  set(flags "-fsanitize=${SANITIZE}")
endif()
run(${CMAKE_COMMAND} -S ${HOST_SOURCE} -B ${WORK_DIR}/host -G Ninja
    -DCMAKE_PREFIX_PATH=${PREFIX} "-DCMAKE_CXX_FLAGS=${flags}" "-DCMAKE_EXE_LINKER_FLAGS=${flags}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/host)
run(${WORK_DIR}/host/host)
if(NOT LAST_OUTPUT MATCHES "BrimException : Access is denied.")
  message(FATAL_ERROR "unexpected host output: ${LAST_OUTPUT}")
endif()

# The same host through pkg-config.
find_program(PKG_CONFIG pkg-config REQUIRED)
set(ENV{PKG_CONFIG_PATH} ${PREFIX}/lib/pkgconfig)
run(${PKG_CONFIG} --cflags --libs brimcommon)
string(STRIP "${LAST_OUTPUT}" pc_flags)
separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
run(c++ -std=c++20 ${flags} ${HOST_SOURCE}/host.cpp ${pc_flags} -Wl,-rpath,${PREFIX}/lib -o ${WORK_DIR}/host-pc)
run(${WORK_DIR}/host-pc)

# The examples build against the installed package too.
file(GLOB examples LIST_DIRECTORIES true ${EXAMPLES}/*)
foreach(example IN LISTS examples)
  if(IS_DIRECTORY ${example})
    get_filename_component(name ${example} NAME)
    run(${CMAKE_COMMAND} -S ${example} -B ${WORK_DIR}/example-${name} -G Ninja
        -DCMAKE_PREFIX_PATH=${PREFIX} "-DCMAKE_CXX_FLAGS=${flags}" "-DCMAKE_EXE_LINKER_FLAGS=${flags}"
        "-DCMAKE_BUILD_RPATH=${PREFIX}/lib")
    run(${CMAKE_COMMAND} --build ${WORK_DIR}/example-${name})
  endif()
endforeach()
run(${WORK_DIR}/example-walk/walk ${EXAMPLES})
if(NOT LAST_OUTPUT MATCHES "folders, [0-9]+ files")
  message(FATAL_ERROR "unexpected walk output: ${LAST_OUTPUT}")
endif()
