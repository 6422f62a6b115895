# Reads the module graph (src/modules.txt) and builds each module as a library
# that links exactly the modules it declares.

# comsweep_read_modules(): sets COMSWEEP_MODULES (in order) and, for each
# module, COMSWEEP_USES_<name> in the caller's scope.
function(comsweep_read_modules file)
  file(STRINGS ${file} lines REGEX "^[a-z0-9/]+:")
  set(modules)
  foreach(line IN LISTS lines)
    string(REGEX MATCH "^([a-z0-9/]+):(.*)$" _ "${line}")
    set(module ${CMAKE_MATCH_1})
    string(REGEX REPLACE "[ \t]+" ";" uses "${CMAKE_MATCH_2}")
    list(FILTER uses EXCLUDE REGEX "^$")
    list(APPEND modules ${module})
    comsweep_module_name(${module} name)
    set(COMSWEEP_USES_${name} ${uses} PARENT_SCOPE)
  endforeach()
  set(COMSWEEP_MODULES ${modules} PARENT_SCOPE)
endfunction()

# "registry/hive" -> "hive"
function(comsweep_module_name module out)
  string(REGEX REPLACE ".*/" "" name ${module})
  set(${out} ${name} PARENT_SCOPE)
endfunction()

# comsweep_module(sources...): the library of the module in the current
# folder, linked to what the graph lets it use (modules this build leaves out,
# such as the native store on Linux, are skipped).
function(comsweep_module)
  file(RELATIVE_PATH module ${PROJECT_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
  comsweep_module_name(${module} name)
  add_library(comsweep_${name} STATIC ${ARGN})
  target_include_directories(comsweep_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(comsweep_${name} PRIVATE comsweep_warnings)
  foreach(use IN LISTS COMSWEEP_USES_${name})
    comsweep_module_name(${use} used)
    if(TARGET comsweep_${used})
      target_link_libraries(comsweep_${name} PUBLIC comsweep_${used})
    endif()
  endforeach()
endfunction()
