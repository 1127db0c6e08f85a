# Fails if a source of an adapter that owns its frames (the OpenFX plug-in,
# the frei0r filter, the Python module) includes a host SDK header: they
# reach the engine through frame views and its pixel aliases alone.
set(offenders "")
foreach(folder IN ITEMS ofx frei0r python)
  file(GLOB_RECURSE sources ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
  foreach(source IN LISTS sources)
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]sdk/")
    if(includes)
      file(RELATIVE_PATH name ${SOURCE_DIR} ${source})
      list(APPEND offenders "${name}: ${includes}")
    endif()
  endforeach()
endforeach()
if(offenders)
  list(JOIN offenders "\n" text)
  message(FATAL_ERROR "adapters include host SDK headers:\n${text}")
endif()
