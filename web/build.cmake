# Builds the web page: run by the `web` target as
#   cmake -DSOURCE_DIR=... -DWASM_DIR=... -DOUTPUT_DIR=... -DZIP=... -DGENERATOR=... -P build.cmake
# Looks for emscripten each time, so installing it needs no reconfigure;
# without it, says so and succeeds.
cmake_minimum_required(VERSION 3.25)

find_program(EMCMAKE emcmake)
find_program(EMXX em++)
find_program(NODE node)
if(NOT EMCMAKE OR NOT EMXX OR NOT NODE)
  message(STATUS "web: emscripten (em++, emcmake) or node not found; the web page is not built "
                 "(apt-get install emscripten)")
  return()
endif()

# Debian's emscripten runs its JavaScript optimizer with Debian's Node.js
# packages, which live outside Node's default search path.
if(EXISTS /usr/share/nodejs)
  if(DEFINED ENV{NODE_PATH} AND NOT "$ENV{NODE_PATH}" STREQUAL "")
    set(ENV{NODE_PATH} "/usr/share/nodejs:$ENV{NODE_PATH}")
  else()
    set(ENV{NODE_PATH} /usr/share/nodejs)
  endif()
endif()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "web: failed (${status}): ${command}")
  endif()
endfunction()

# The portable platform layer: the standard library alone. The module has
# no file system: the page hands the core the bytes of every file it reads.
if(NOT EXISTS ${WASM_DIR}/CMakeCache.txt)
  run(${EMCMAKE} ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WASM_DIR} -G ${GENERATOR}
      -DCMAKE_BUILD_TYPE=Release
      -DTARNVIL_PLATFORM=portable
      -DTARNVIL_STATIC=OFF
      -DTARNVIL_BUILD_TESTS=OFF
      -DTARNVIL_BUILD_BENCHMARKS=OFF)
endif()
cmake_host_system_information(RESULT cores QUERY NUMBER_OF_LOGICAL_CORES)
run(${CMAKE_COMMAND} --build ${WASM_DIR} --target tarnvil_wasm --parallel ${cores})
run(${NODE} ${SOURCE_DIR}/web/assemble.mjs ${WASM_DIR}/module ${SOURCE_DIR}/web/page ${OUTPUT_DIR} ${ZIP})

message(STATUS "web: the page is ${OUTPUT_DIR}/index.html, and in ${ZIP}")
