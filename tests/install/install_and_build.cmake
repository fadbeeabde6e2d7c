cmake_minimum_required(VERSION 3.25)
# Runs as a ctest script; nothing outside WORK_DIR is touched.
file(REMOVE_RECURSE ${WORK_DIR})
set(PREFIX ${WORK_DIR}/prefix)

function(require what)
  if(NOT (${ARGN}))
    message(FATAL_ERROR "${what}")
  endif()
endfunction()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  require("failed (${rc}): ${ARGN}\n${out}" rc EQUAL 0)
  set(LAST_OUTPUT "${out}" PARENT_SCOPE)
endfunction()

function(expect_files root)
  foreach(f IN LISTS ARGN)
    require("missing from ${root}: ${f}" EXISTS ${root}/${f})
  endforeach()
endfunction()

if(SANITIZE)
  set(flags "-fsanitize=${SANITIZE}")
endif()

# The host against the library installed under `prefix`, through its CMake package and its pkg-config file.
function(build_hosts prefix tag)
  set(host ${WORK_DIR}/host-${tag})
  run(${CMAKE_COMMAND} -S ${HOST_SOURCE} -B ${host} -G Ninja
      -DCMAKE_PREFIX_PATH=${prefix} "-DCMAKE_CXX_FLAGS=${flags}" "-DCMAKE_EXE_LINKER_FLAGS=${flags}")
  run(${CMAKE_COMMAND} --build ${host})
  run(${host}/host)
  require("unexpected output of the ${tag} host (find_package): ${LAST_OUTPUT}" LAST_OUTPUT MATCHES "BrimException : Access is denied.")

  find_program(PKG_CONFIG pkg-config REQUIRED)
  set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
  run(${PKG_CONFIG} --cflags --libs brimcommon)
  string(STRIP "${LAST_OUTPUT}" pc_flags)
  separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
  run(c++ -std=c++20 ${flags} ${HOST_SOURCE}/host.cpp ${pc_flags} -Wl,-rpath,${prefix}/${LIBDIR} -o ${host}-pc)
  run(${host}-pc)
  require("unexpected output of the ${tag} host (pkg-config): ${LAST_OUTPUT}" LAST_OUTPUT MATCHES "BrimException : Access is denied.")
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})
expect_files(${PREFIX} include/brim/brim.h ${LIBDIR}/cmake/BrimCommon/BrimCommonConfig.cmake
  ${LIBDIR}/pkgconfig/brimcommon.pc)
build_hosts(${PREFIX} prefix)

# The examples build against the installed package too.
file(GLOB examples ${EXAMPLES}/*/CMakeLists.txt)
foreach(example IN LISTS examples)
  get_filename_component(example ${example} DIRECTORY)
  get_filename_component(name ${example} NAME)
  run(${CMAKE_COMMAND} -S ${example} -B ${WORK_DIR}/example-${name} -G Ninja
      -DCMAKE_PREFIX_PATH=${PREFIX} "-DCMAKE_CXX_FLAGS=${flags}" "-DCMAKE_EXE_LINKER_FLAGS=${flags}"
      "-DCMAKE_BUILD_RPATH=${PREFIX}/${LIBDIR}")
  run(${CMAKE_COMMAND} --build ${WORK_DIR}/example-${name})
endforeach()
run(${WORK_DIR}/example-walk/walk ${EXAMPLES})
require("unexpected walk output: ${LAST_OUTPUT}" LAST_OUTPUT MATCHES "folders, [0-9]+ files")

if(NOT DEB_PACKAGES)   # the Debian packages
  return()
endif()
set(packages ${WORK_DIR}/packages)
run(${CMAKE_COMMAND} -E env LC_ALL=C ${CPACK} --config ${BUILD_DIR}/CPackConfig.cmake -B ${packages})
set(root ${WORK_DIR}/root)
foreach(name libbrimcommon0 libbrimcommon-dev brim)
  file(GLOB deb ${packages}/${name}_*.deb)
  require("cpack made no package ${name}" deb)
  run(dpkg-deb -x ${deb} ${root})
  expect_files(${root} usr/share/doc/${name}/copyright usr/share/doc/${name}/changelog.Debian.gz)
  run(dpkg-deb -f ${deb} Description Maintainer)
  require("${name}: the maintainer's address is on localhost" NOT LAST_OUTPUT MATCHES "@localhost")
  string(REGEX MATCH "^Description: [^\n]*" summary "${LAST_OUTPUT}")
  require("${name} has the summary of another package: ${summary}" NOT summary IN_LIST summaries)
  list(APPEND summaries "${summary}")
  list(APPEND debs ${deb})
endforeach()
expect_files(${root} usr/${LIBDIR}/libbrimcommon.so.0 usr/${LIBDIR}/libbrimcommon.so
  usr/${LIBDIR}/cmake/BrimCommon/BrimCommonConfig.cmake usr/${LIBDIR}/pkgconfig/brimcommon.pc
  usr/include/brim/brim.h usr/bin/brim usr/share/man/man1/brim.1.gz usr/share/bash-completion/completions/brim)
# Stripped, the debug information in the -dbgsym package under the library's build id.
run(readelf -S -n ${root}/usr/${LIBDIR}/libbrimcommon.so.0)
require("the packaged library is not stripped" NOT LAST_OUTPUT MATCHES "\\.debug_info")
string(REGEX MATCH "Build ID: ([0-9a-f][0-9a-f])([0-9a-f]+)" build_id "${LAST_OUTPUT}")
file(GLOB dbgsym ${packages}/libbrimcommon0-dbgsym_*.ddeb)
require("cpack made no libbrimcommon0-dbgsym package" dbgsym)
run(dpkg-deb -x ${dbgsym} ${WORK_DIR}/dbgsym)
expect_files(${WORK_DIR}/dbgsym usr/lib/debug/.build-id/${CMAKE_MATCH_1}/${CMAKE_MATCH_2}.debug)

build_hosts(${root}/usr packages)
# The packaged brim runs on the packaged library.
run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${root}/usr/${LIBDIR} ${root}/usr/bin/brim error 5)
require("unexpected output of the packaged brim: ${LAST_OUTPUT}" LAST_OUTPUT MATCHES "Access is denied.")
# It carries no library search path of its own; the build tree's brim one
# without an empty entry, which the loader reads as the current folder.
run(readelf -d ${root}/usr/bin/brim)
require("the packaged brim has a library search path: ${LAST_OUTPUT}" NOT LAST_OUTPUT MATCHES "R(UN)?PATH")
run(readelf -d ${BUILD_DIR}/bin/brim)
require("brim in the build tree looks in the current folder: ${LAST_OUTPUT}" NOT LAST_OUTPUT MATCHES "path: \\[(:|[^]\n]*(::|:\\]))")

# Debian's own check, where it is installed: no errors.
find_program(LINTIAN lintian)
if(LINTIAN)
  run(${LINTIAN} --fail-on error ${debs})
endif()
