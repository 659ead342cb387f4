# The library's zip must hold exactly the library folder of the source tree,
# at its top: a user who adds it in the IDE gets the engine too. A score.h
# beside the example is the user's own and stays out.
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${ZIP} OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot list ${ZIP}")
endif()
string(REGEX REPLACE "\n$" "" listing "${listing}")
string(REPLACE "\n" ";" packed "${listing}")
list(FILTER packed EXCLUDE REGEX "/$")
list(SORT packed)
file(GLOB_RECURSE expected RELATIVE ${LIBRARY}/.. ${LIBRARY}/*)
list(FILTER expected EXCLUDE REGEX "/score\\.h$")
list(SORT expected)
if(NOT packed STREQUAL expected)
  message(FATAL_ERROR "${ZIP} holds\n  ${packed}\nnot\n  ${expected}")
endif()
