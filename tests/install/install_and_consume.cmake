# cmake -P script: install BUILD_DIR into a fresh temporary prefix and use
# it the ways an outsider would. MODE selects how:
#   consumers  every installed header compiles alone; the consumer project in
#              CONSUMER_DIR builds and runs through find_package(quillxml),
#              and again through pkg-config (quillxml.pc)
#   ecl        a plain ecl loads the ASDF system quillxml from the prefix and
#              runs the tour (TOUR), which prints what it does under the
#              installed quill-lisp
# The temporary folder is removed whatever happens.
foreach(v BUILD_DIR MODE)
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
set(prefix "${work}/prefix")
file(MAKE_DIRECTORY "${work}")

function(step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    file(REMOVE_RECURSE "${work}")
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  set(step_output "${out}" PARENT_SCOPE)
endfunction()

function(expect what pattern)
  if(NOT step_output MATCHES "${pattern}")
    file(REMOVE_RECURSE "${work}")
    message(FATAL_ERROR "${what}: no \"${pattern}\" in:\n${step_output}")
  endif()
endfunction()

# One translation unit per installed header, all checked by one compiler run.
function(check_headers_alone)
  file(GLOB_RECURSE headers RELATIVE "${prefix}/include/quillxml" "${prefix}/include/quillxml/*.h")
  list(LENGTH headers count)
  if(count EQUAL 0)
    message(FATAL_ERROR "no headers installed")
  endif()
  set(units)
  set(i 0)
  foreach(h ${headers})
    math(EXPR i "${i} + 1")
    file(WRITE "${work}/alone/h${i}.cpp" "#include \"${h}\"\n")
    list(APPEND units "${work}/alone/h${i}.cpp")
  endforeach()
  step("headers alone" ${CXX_COMPILER} -std=c++20 -Wall -Wextra -Werror -fsyntax-only
       "-I${prefix}/include/quillxml" ${units})
  message(STATUS "${count} installed headers compile alone")
endfunction()

function(consume_with_cmake)
  step("configure consumer" ${CMAKE_COMMAND} -S "${CONSUMER_DIR}" -B "${work}/build" -G "${GENERATOR}"
       "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}"
       "-DCMAKE_CXX_FLAGS=${CONSUMER_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${CONSUMER_FLAGS}")
  step("build consumer" ${CMAKE_COMMAND} --build "${work}/build")
  step("run consumer" "${work}/build/consumer")
  expect("cmake consumer" "consumer: ok")
endfunction()

function(consume_with_pkg_config)
  file(GLOB pc_file "${prefix}/lib*/pkgconfig/quillxml.pc" "${prefix}/lib/*/pkgconfig/quillxml.pc")
  if(NOT pc_file)
    message(FATAL_ERROR "quillxml.pc not installed")
  endif()
  get_filename_component(pc_dir "${pc_file}" DIRECTORY)
  set(ENV{PKG_CONFIG_PATH} "${pc_dir}")
  step("pkg-config" pkg-config --cflags --libs quillxml)
  string(STRIP "${step_output}" flags)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  step("pkg-config libdir" pkg-config --variable=libdir quillxml)
  string(STRIP "${step_output}" libdir)
  separate_arguments(extra UNIX_COMMAND "${CONSUMER_FLAGS}")
  step("build pkg-config consumer" ${CXX_COMPILER} -std=c++20 ${extra} "${CONSUMER_DIR}/main.cpp"
       -o "${work}/pc-consumer" ${flags} "-Wl,-rpath,${libdir}")
  step("run pkg-config consumer" "${work}/pc-consumer")
  expect("pkg-config consumer" "consumer: ok")
endfunction()

function(tour_under_ecl)
  file(GLOB asd "${prefix}/share/common-lisp/systems/quillxml.asd")
  if(NOT asd)
    message(FATAL_ERROR "quillxml.asd not installed")
  endif()
  file(WRITE "${work}/run-tour.lisp"
    "(require :asdf)\n"
    "(push #p\"${prefix}/share/common-lisp/systems/\" asdf:*central-registry*)\n"
    "(asdf:load-system \"quillxml\")\n"
    "(load \"${TOUR}\")\n"
    "(format t \"~&tour under ecl: done~%\")\n")
  # A sanitized module needs its runtime loaded first into a plain ecl.
  if(PRELOAD)
    set(ENV{LD_PRELOAD} "${PRELOAD}")
    set(ENV{ASAN_OPTIONS} "detect_leaks=0")
  endif()
  set(ENV{ASDF_OUTPUT_TRANSLATIONS} "/:${work}/fasl/")
  step("tour under ecl" ecl --norc --shell "${work}/run-tour.lisp")
  expect("tour under ecl" "tour under ecl: done")
  set(under_ecl "${step_output}")
  # The same behaviour: quill-lisp from the prefix prints the same tour,
  # apart from addresses and the scratch folder's process number.
  step("tour under quill-lisp" "${prefix}/bin/quill-lisp" "${TOUR}")
  string(REGEX REPLACE "^;;; Loading [^\n]*\n" "" under_ecl "${under_ecl}")
  string(REPLACE "tour under ecl: done\n" "" under_ecl "${under_ecl}")
  foreach(v under_ecl step_output)
    string(REGEX REPLACE "0x[0-9a-f]+|quill-tour-[0-9]+" "" ${v} "${${v}}")
  endforeach()
  if(NOT under_ecl STREQUAL step_output)
    file(WRITE "${tmp_root}/quill-tour-under-ecl.txt" "${under_ecl}")
    file(WRITE "${tmp_root}/quill-tour-under-quill-lisp.txt" "${step_output}")
    file(REMOVE_RECURSE "${work}")
    message(FATAL_ERROR "the tour under ecl differs from quill-lisp's: compare "
                        "${tmp_root}/quill-tour-under-ecl.txt and ${tmp_root}/quill-tour-under-quill-lisp.txt")
  endif()
endfunction()

step("install" ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}")
if(MODE STREQUAL "consumers")
  check_headers_alone()
  consume_with_cmake()
  consume_with_pkg_config()
elseif(MODE STREQUAL "ecl")
  tour_under_ecl()
else()
  message(FATAL_ERROR "unknown MODE ${MODE}")
endif()
file(REMOVE_RECURSE "${work}")
