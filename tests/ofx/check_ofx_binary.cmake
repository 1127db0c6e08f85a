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

set(MODULE ${BINARY})
set(EXPORTS "OfxGetNumberOfPlugins;OfxGetPlugin")
include(${CMAKE_CURRENT_LIST_DIR}/../host/check_exports.cmake)

# Hosts load it from anywhere: no search path of this build inside.
execute_process(COMMAND readelf -d ${BINARY} OUTPUT_VARIABLE dynamic)
if(dynamic MATCHES "RPATH|RUNPATH")
  message(FATAL_ERROR "${BINARY} carries a library search path")
endif()
