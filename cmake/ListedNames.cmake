# Names read from a list that the C++ code reads too, one line each (an
# X-macro list: writers/writer_list.inc, passes/pass_list.inc,
# Vellmar/plugin_entry_list.inc).
include_guard(GLOBAL)

# Sets out_var to the names that pattern captures (its first group) in the
# lines of list_file that start with MACRO(, each once, in the order of the
# list. A line that starts so but does not match fails the configuration;
# a change to the list configures the build again.
function(vellmar_listed_names out_var list_file macro pattern)
  get_filename_component(list_file ${list_file} ABSOLUTE)
  file(STRINGS ${list_file} lines REGEX "^${macro}\\(")
  set(names "")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "${pattern}")
      message(FATAL_ERROR "${list_file}: cannot read the name of '${line}'")
    endif()
    list(APPEND names ${CMAKE_MATCH_1})
  endforeach()
  if(NOT names)
    message(FATAL_ERROR "${list_file} names nothing")
  endif()
  list(REMOVE_DUPLICATES names)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${list_file})
  set(${out_var} ${names} PARENT_SCOPE)
endfunction()

# Sets out_var to the files of a list whose lines name a file of folder by
# their first argument, MACRO(name, ...), as folder/<name>suffix: the
# sources of a list, or their tests.
function(vellmar_listed_sources out_var list_file macro folder suffix)
  vellmar_listed_names(names ${list_file} ${macro} "^${macro}\\(([a-z0-9_]+)[,)]")
  list(TRANSFORM names PREPEND ${folder}/)
  list(TRANSFORM names APPEND ${suffix})
  set(${out_var} ${names} PARENT_SCOPE)
endfunction()
