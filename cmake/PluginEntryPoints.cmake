# The plug-in's entry-point names, read from their one list
# (Vellmar/plugin_entry_list.inc), for the module's export list and for the
# checks of the built module.

include(${CMAKE_CURRENT_LIST_DIR}/ListedNames.cmake)

set(VELLMAR_PLUGIN_ENTRY_LIST ${CMAKE_CURRENT_LIST_DIR}/../Vellmar/plugin_entry_list.inc)
get_filename_component(VELLMAR_PLUGIN_ENTRY_LIST ${VELLMAR_PLUGIN_ENTRY_LIST} ABSOLUTE)

# Sets out_var to the names in alphabetical order, the order in which the
# host's export table numbers them (ordinals 1, 2, ...). A change to the list
# configures the build again.
function(vellmar_plugin_entry_points out_var)
  vellmar_listed_names(names ${VELLMAR_PLUGIN_ENTRY_LIST} MQ_PLUGIN_ENTRY
                       "^MQ_PLUGIN_ENTRY\\([^,]+, *([A-Za-z_][A-Za-z0-9_]*),")
  list(SORT names)
  set(${out_var} ${names} PARENT_SCOPE)
endfunction()

# Writes the module's export list into the build tree: the linker's version
# script (map), which exports the entry points and hides every other symbol,
# and the Windows module definition (def), which exports them by their plain
# names with ordinals in alphabetical order and nothing else. Files whose
# content stays the same are not touched.
function(vellmar_write_plugin_exports module_name map def)
  vellmar_plugin_entry_points(names)
  set(map_text "{\n  global:\n")
  set(def_text "; Written by the build from Vellmar/plugin_entry_list.inc.\nLIBRARY ${module_name}.dll\nEXPORTS\n")
  set(ordinal 1)
  foreach(name IN LISTS names)
    string(APPEND map_text "    ${name};\n")
    string(APPEND def_text "  ${name} @${ordinal}\n")
    math(EXPR ordinal "${ordinal} + 1")
  endforeach()
  string(APPEND map_text "  local:\n    *;\n};\n")
  file(CONFIGURE OUTPUT ${map} CONTENT "${map_text}")
  file(CONFIGURE OUTPUT ${def} CONTENT "${def_text}")
endfunction()
