# cmake -P script: install BUILD_DIR into a fresh temporary prefix, configure,
# build and run the consumer project in CONSUMER_DIR against it. The
# temporary folder is removed whatever happens.
foreach(v BUILD_DIR CONSUMER_DIR CXX_COMPILER GENERATOR)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "${v} is not set")
  endif()
endforeach()

if(DEFINED ENV{TMPDIR} AND IS_DIRECTORY "$ENV{TMPDIR}")
  set(tmp_root "$ENV{TMPDIR}")
else()
  set(tmp_root "/tmp")
endif()
string(RANDOM LENGTH 10 ALPHABET "abcdefghijklmnopqrstuvwxyz0123456789" suffix)
set(work "${tmp_root}/quill-install-${suffix}")
file(MAKE_DIRECTORY "${work}")

function(step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    file(REMOVE_RECURSE "${work}")
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  set(step_output "${out}" PARENT_SCOPE)
endfunction()

step("install" ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${work}/prefix")
step("configure consumer" ${CMAKE_COMMAND} -S "${CONSUMER_DIR}" -B "${work}/build" -G "${GENERATOR}"
     "-DCMAKE_PREFIX_PATH=${work}/prefix" "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}"
     "-DCMAKE_CXX_FLAGS=${CONSUMER_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${CONSUMER_FLAGS}")
step("build consumer" ${CMAKE_COMMAND} --build "${work}/build")
step("run consumer" "${work}/build/consumer")
message(STATUS "${step_output}")
if(NOT step_output MATCHES "consumer: ok")
  file(REMOVE_RECURSE "${work}")
  message(FATAL_ERROR "consumer did not report success:\n${step_output}")
endif()
file(REMOVE_RECURSE "${work}")
