# Checks that a shared object exports exactly the given functions, as nm -D
# lists its defined dynamic symbols. Run with cmake -P and:
#   NM       the nm of the target
#   MODULE   the .so
#   EXPORTS  the names it must export, and no other
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND "${NM}" -D --defined-only "${MODULE}"
  OUTPUT_VARIABLE listing ERROR_VARIABLE nm_error RESULT_VARIABLE nm_status)
if(NOT nm_status EQUAL 0)
  message(FATAL_ERROR "${NM} -D ${MODULE} failed: ${nm_error}")
endif()

# "address type name" per line; a version node ("A NAME") is no function.
string(REPLACE "\n" ";" lines "${listing}")
set(exported "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-fA-F]* *([A-Za-z]) (.+)$" AND NOT CMAKE_MATCH_1 STREQUAL "A")
    list(APPEND exported "${CMAKE_MATCH_2}")
  endif()
endforeach()

set(problems "")
foreach(name IN LISTS exported)
  if(NOT name IN_LIST EXPORTS)
    list(APPEND problems "exports ${name}, which it must not")
  endif()
endforeach()
foreach(name IN LISTS EXPORTS)
  if(NOT name IN_LIST exported)
    list(APPEND problems "does not export ${name}")
  endif()
endforeach()
get_filename_component(module_name "${MODULE}" NAME)
if(problems)
  foreach(problem IN LISTS problems)
    message("FAIL: ${module_name} ${problem}")
  endforeach()
  message(FATAL_ERROR "${module_name}: the exported symbols are wrong")
endif()
list(LENGTH exported count)
message("${module_name}: exports its ${count} entry points and nothing else")
