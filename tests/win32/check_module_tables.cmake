# Checks a Windows module's export and import tables as objdump -p prints
# them. Run with cmake -P and these variables:
#   OBJDUMP          the target's objdump
#   MODULE           the .dll or .exe
#   FORMAT           the file format that objdump must name (pei-i386,
#                    pei-x86-64)
#   EXPORTS          the names the module must export, and no others (empty:
#                    it must export nothing)
#   ORDINALS_IN_ORDER  ON: EXPORTS[i] must have the ordinal i + 1
#   SYSTEM_DLLS      DLL names that may be imported (case-insensitive)
#   OWN_DLLS         further DLLs of this project that may be imported
# Every failure is reported before the script stops, each on its own line.

cmake_minimum_required(VERSION 3.25)

foreach(var OBJDUMP MODULE FORMAT)
  if(NOT ${var})
    message(FATAL_ERROR "check_module_tables: ${var} is not set")
  endif()
endforeach()

execute_process(COMMAND "${OBJDUMP}" -p "${MODULE}"
  OUTPUT_VARIABLE dump ERROR_VARIABLE dump_error RESULT_VARIABLE dump_status)
if(NOT dump_status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${MODULE} failed: ${dump_error}")
endif()

set(problems "")
get_filename_component(module_name "${MODULE}" NAME)

# A module for the intended processor.
if(NOT dump MATCHES "file format ${FORMAT}\n")
  list(APPEND problems "${module_name} is not a ${FORMAT} module")
endif()

# objdump ends each line with \n; CMake lists need the ; escaped first.
string(REPLACE ";" "\\;" dump "${dump}")
string(REPLACE "\n" ";" lines "${dump}")

# Imports: one "DLL Name: X" line per imported DLL.
set(allowed "")
foreach(dll IN LISTS SYSTEM_DLLS OWN_DLLS)
  string(TOLOWER "${dll}" dll)
  list(APPEND allowed "${dll}")
endforeach()
set(imports "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[ \t]*DLL Name: (.+)$")
    string(STRIP "${CMAKE_MATCH_1}" dll)
    list(APPEND imports "${dll}")
    string(TOLOWER "${dll}" lower)
    if(NOT lower IN_LIST allowed)
      list(APPEND problems "${module_name} imports ${dll}, which is not a Windows system DLL")
    endif()
  endif()
endforeach()

# Exports. The address table has one line per exported address; the name
# table one line per name, "[ i] name" (ordinal = i + base) or, from newer
# binutils, "[ i] +base[ ordinal] hint name".
set(section "")
set(base 1)
set(address_count 0)
set(exported_names "")
set(exported_ordinals "")
foreach(line IN LISTS lines)
  if(line MATCHES "^Export Address Table -- Ordinal Base ([0-9]+)")
    set(section addresses)
    set(base "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
    set(section names)
  elseif(line MATCHES "^[ \t]*$" OR NOT line MATCHES "^[ \t]")
    set(section "")
  elseif(section STREQUAL "addresses" AND line MATCHES "^[ \t]*\\[ *[0-9]+\\] ")
    math(EXPR address_count "${address_count} + 1")
  elseif(section STREQUAL "names")
    if(line MATCHES "^[ \t]*\\[ *([0-9]+)\\] \\+base\\[ *([0-9]+)\\] +[0-9a-fA-F]+ +(.+)$")
      set(ordinal "${CMAKE_MATCH_2}")
      set(name "${CMAKE_MATCH_3}")
    elseif(line MATCHES "^[ \t]*\\[ *([0-9]+)\\] +(.+)$")
      math(EXPR ordinal "${CMAKE_MATCH_1} + ${base}")
      set(name "${CMAKE_MATCH_2}")
    else()
      list(APPEND problems "cannot read the export line '${line}'")
      continue()
    endif()
    string(STRIP "${name}" name)
    list(APPEND exported_names "${name}")
    list(APPEND exported_ordinals "${ordinal}")
  endif()
endforeach()

foreach(name IN LISTS exported_names)
  if(NOT name IN_LIST EXPORTS)
    list(APPEND problems "${module_name} exports ${name}, which it must not")
  endif()
endforeach()
list(LENGTH EXPORTS expected_count)
list(LENGTH exported_names name_count)
if(NOT address_count EQUAL name_count)
  list(APPEND problems "${module_name} has ${address_count} exported addresses for ${name_count} names")
endif()
set(index 0)
foreach(name IN LISTS EXPORTS)
  list(FIND exported_names "${name}" at)
  if(at EQUAL -1)
    list(APPEND problems "${module_name} does not export ${name}")
  elseif(ORDINALS_IN_ORDER)
    list(GET exported_ordinals ${at} ordinal)
    math(EXPR wanted "${index} + 1")
    if(NOT ordinal EQUAL wanted)
      list(APPEND problems "${module_name} exports ${name} with ordinal ${ordinal}, not ${wanted}")
    endif()
  endif()
  math(EXPR index "${index} + 1")
endforeach()

if(problems)
  foreach(problem IN LISTS problems)
    message("FAIL: ${problem}")
  endforeach()
  message(FATAL_ERROR "${module_name}: the module tables are wrong")
endif()
string(REPLACE ";" ", " import_text "${imports}")
message("${module_name}: ${name_count} exports as expected; imports ${import_text}")
