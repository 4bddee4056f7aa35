# Resource libraries: shared libraries that carry only a string table (see
# text/README-resources.md).
#
# add_resource_library(<name> <language> <source>)
#   Builds <source>, which defines the exported table OrvaneStringTable, into
#   lib<name>.so under <build>/bin/<language>/ (language "." puts it in
#   <build>/bin itself), which is where LoadLibraryA("<NAME>") and the
#   language search of the resource loader look for it. <name> is the
#   Windows library name without ".dll", in any case. The target is called
#   <name>_<language> (<name>_neutral for ".").
function(add_resource_library name language source)
  string(TOLOWER "${name}" file_name)
  if(language STREQUAL ".")
    set(target ${name}_neutral)
    set(directory ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
  else()
    set(target ${name}_${language})
    set(directory ${CMAKE_LIBRARY_OUTPUT_DIRECTORY}/${language})
  endif()
  add_library(${target} SHARED ${source})
  # The table needs only the layer's types, not its implementation.
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/platform/include)
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${file_name}
    LIBRARY_OUTPUT_DIRECTORY ${directory})
endfunction()

# target_string_resources(<executable> <source>)
#   Gives a program its own string table (read by LoadStringA with a null
#   module): adds <source> and exports the program's symbols.
function(target_string_resources target source)
  target_sources(${target} PRIVATE ${source})
  set_target_properties(${target} PROPERTIES ENABLE_EXPORTS ON)
endfunction()
