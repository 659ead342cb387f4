# The library as a user downloads it: the zip unpacked into an empty folder,
# every example built from there alone (its sketch folder and the library's
# src/) with the AVR toolchain and the Arduino core, then played on the
# simulated chip by chip_tests.
cmake_minimum_required(VERSION 3.25)

string(REPLACE "|" ";" cxx_flags "${CXX_FLAGS}")
string(REPLACE "|" ";" link_flags "${LINK_FLAGS}")
set(strict -Wall -Wextra -Werror)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed)
  if(failed)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "failed: ${command}")
  endif()
endfunction()

set(unpacked ${WORK}/from-zip)
file(REMOVE_RECURSE ${unpacked})
file(MAKE_DIRECTORY ${unpacked})
run(${CMAKE_COMMAND} -E chdir ${unpacked} ${CMAKE_COMMAND} -E tar xf ${ZIP})
set(library ${unpacked}/ArvonicPlay)
file(GLOB sources ${library}/src/*.cpp)
file(GLOB examples LIST_DIRECTORIES true ${library}/examples/*)
if(examples STREQUAL "")
  message(FATAL_ERROR "${ZIP} holds no example")
endif()

foreach(example ${examples})
  get_filename_component(name ${example} NAME)
  set(objects)
  foreach(source ${sources})
    get_filename_component(source_name ${source} NAME)
    run(${AVR_GXX} ${cxx_flags} ${strict} -I${library}/src ${source} -o ${example}/${source_name}.o)
    list(APPEND objects ${example}/${source_name}.o)
  endforeach()
  # The IDE compiles a sketch as C++ after Arduino.h, in its own folder.
  run(${AVR_GXX} ${cxx_flags} ${strict} -I${library}/src -x c++ -include Arduino.h ${example}/${name}.ino
      -o ${example}/${name}.ino.o)
  run(${AVR_GCC} ${link_flags} -o ${example}/${name}.elf ${example}/${name}.ino.o ${objects} ${CORE} -lm)
  message(STATUS "built ${name} from the zip")
endforeach()

run(${CMAKE_COMMAND} -E env ZIPPED_LIBRARY=${library} ${CHIP_TESTS} --gtest_filter=ZippedExamples.*)
