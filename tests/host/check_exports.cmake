# Fails unless MODULE's dynamic symbol table defines exactly EXPORTS (a sorted
# list; the effect module's two entry points when not given). Other checks
# include it with both set.
if(NOT DEFINED EXPORTS)
  set(EXPORTS "EffectMain;PluginDataEntryFunction")
endif()
execute_process(COMMAND nm -D --defined-only ${MODULE} OUTPUT_VARIABLE symbols
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "nm failed on ${MODULE}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
set(names "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^.* " "" name "${line}")
  list(APPEND names ${name})
endforeach()
list(SORT names)
if(NOT names STREQUAL EXPORTS)
  message(FATAL_ERROR "${MODULE} exports: ${names}")
endif()
