# Fails unless BINARY is the bundle's Linux binary: an x86-64 ELF shared
# object at BUNDLE/Contents/Linux-x86-64/Corvalin.ofx whose dynamic symbol
# table defines exactly the two OpenFX exports.
if(NOT BINARY STREQUAL "${BUNDLE}/Contents/Linux-x86-64/Corvalin.ofx")
  message(FATAL_ERROR "${BINARY} is not where hosts look in ${BUNDLE}")
endif()

execute_process(COMMAND readelf -h ${BINARY} OUTPUT_VARIABLE header RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "readelf failed on ${BINARY}")
endif()
if(NOT header MATCHES "Type:[ ]+DYN" OR NOT header MATCHES "Machine:[ ]+Advanced Micro Devices X86-64")
  message(FATAL_ERROR "${BINARY} is not an x86-64 shared object:\n${header}")
endif()

execute_process(COMMAND nm -D --defined-only ${BINARY} OUTPUT_VARIABLE symbols
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "nm failed on ${BINARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
set(names "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^.* " "" name "${line}")
  list(APPEND names ${name})
endforeach()
list(SORT names)
if(NOT names STREQUAL "OfxGetNumberOfPlugins;OfxGetPlugin")
  message(FATAL_ERROR "${BINARY} exports: ${names}")
endif()

# Hosts load it from anywhere: no search path of this build inside.
execute_process(COMMAND readelf -d ${BINARY} OUTPUT_VARIABLE dynamic)
if(dynamic MATCHES "RPATH|RUNPATH")
  message(FATAL_ERROR "${BINARY} carries a library search path")
endif()
