# Builds a consumer of orvik the ways a user would, and runs it:
#   MODE=installed    install this build, then find_package(orvik) and
#                     pkg-config --cflags --libs orvik against the prefix;
#   MODE=shared       configure orvik afresh with BUILD_SHARED_LIBS=ON,
#                     install it and consume it both ways again;
#   MODE=subdirectory add_subdirectory(orvik) from a parent project that
#                     sets no build type; orvik must not set one nor install.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
file(READ ${ORVIK_SOURCE_DIR}/CMakeLists.txt top)
string(REGEX MATCH "project\\(orvik VERSION ([0-9.]+)" _ "${top}")
set(expected "consumer ${CMAKE_MATCH_1}: 3 x 2\n")

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(rc)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

function(expect_consumer_output program)
  run(${program})
  if(NOT out STREQUAL expected)
    message(FATAL_ERROR "${program} printed '${out}', expected '${expected}'")
  endif()
endfunction()

# A sanitized library needs its runtime in the consumer's link too.
set(extra_flags)
set(extra_link)
if(SANITIZE)
  set(extra_flags -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined)
  set(extra_link -fsanitize=address,undefined)
endif()

function(consume_installed)
  run(${CMAKE_COMMAND} -S ${CONSUMER_SOURCE_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
      -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX} ${extra_flags})
  run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
  expect_consumer_output(${WORK_DIR}/build/consumer)

  # pkg-config, with the compiler driven by hand as a Makefile would.
  file(GLOB_RECURSE pc_files ${prefix}/*/orvik.pc)
  list(GET pc_files 0 pc_file)
  get_filename_component(pc_dir ${pc_file} DIRECTORY)
  set(ENV{PKG_CONFIG_PATH} ${pc_dir})
  run(pkg-config --cflags --libs orvik)
  string(STRIP "${out}" flags)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  run(${CXX} ${CONSUMER_SOURCE_DIR}/main.cpp -o ${WORK_DIR}/pc_consumer ${flags} ${extra_link}
      -Wl,-rpath,${pc_dir}/..)
  expect_consumer_output(${WORK_DIR}/pc_consumer)
endfunction()

if(MODE STREQUAL "installed")
  run(${CMAKE_COMMAND} --install ${ORVIK_BINARY_DIR} --prefix ${prefix})
  consume_installed()
elseif(MODE STREQUAL "shared")
  run(${CMAKE_COMMAND} -S ${ORVIK_SOURCE_DIR} -B ${WORK_DIR}/orvik -G ${GENERATOR} -DBUILD_SHARED_LIBS=ON
      -DORVIK_BUILD_TESTS=OFF -DORVIK_BUILD_EXAMPLES=OFF -DCMAKE_CXX_COMPILER=${CXX}
      -DCMAKE_INSTALL_PREFIX=${prefix})
  run(${CMAKE_COMMAND} --build ${WORK_DIR}/orvik)
  run(${CMAKE_COMMAND} --install ${WORK_DIR}/orvik)
  file(GLOB_RECURSE sonames ${prefix}/*/liborvik.so.*)
  file(GLOB_RECURSE archives ${prefix}/*/liborvik.a)
  if(NOT sonames OR archives)
    message(FATAL_ERROR "a shared build must install liborvik.so.N and no archive: ${sonames} ${archives}")
  endif()
  consume_installed()
elseif(MODE STREQUAL "subdirectory")
  run(${CMAKE_COMMAND} -S ${CONSUMER_SOURCE_DIR}/../parent -B ${WORK_DIR}/build -G ${GENERATOR}
      -DORVIK_SOURCE_DIR=${ORVIK_SOURCE_DIR} -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_INSTALL_PREFIX=${prefix})
  file(STRINGS ${WORK_DIR}/build/CMakeCache.txt build_type REGEX "^CMAKE_BUILD_TYPE:")
  if(NOT build_type MATCHES "^CMAKE_BUILD_TYPE:[A-Z]*=$")
    message(FATAL_ERROR "orvik changed the parent's build type: ${build_type}")
  endif()
  run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
  expect_consumer_output(${WORK_DIR}/build/consumer)
  run(${CMAKE_COMMAND} --install ${WORK_DIR}/build)
  file(GLOB_RECURSE installed RELATIVE ${prefix} ${prefix}/*)
  if(NOT installed STREQUAL "bin/consumer")
    message(FATAL_ERROR "the parent's install took orvik's files along: ${installed}")
  endif()
else()
  message(FATAL_ERROR "unknown MODE ${MODE}")
endif()
