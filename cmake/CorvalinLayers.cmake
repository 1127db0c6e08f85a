# Include paths by layer. Each target sees only the folders of the layers it
# stands on, so an include against the layering (the engine including the
# module, the command or a test) fails to build:
#
#   sdk <- engine <- effect <- host (module, module host) <- cli, tests (and their host)
#                            <- frei0r
#
# Every layer gets a folder of its own under the build tree holding one link
# to the source folder, so that "engine/scan/scan_frame.h" resolves exactly
# where the engine's folder is on the include path.
function(corvalin_layer_dir layer out)
  set(dir ${CMAKE_BINARY_DIR}/layers/${layer})
  if(NOT EXISTS ${dir}/${layer})
    file(MAKE_DIRECTORY ${dir})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${layer} ${dir}/${layer} SYMBOLIC)
  endif()
  set(${out} ${dir} PARENT_SCOPE)
endfunction()

# corvalin_layers(target PUBLIC|PRIVATE|INTERFACE layer...)
function(corvalin_layers target visibility)
  foreach(layer IN LISTS ARGN)
    corvalin_layer_dir(${layer} dir)
    target_include_directories(${target} ${visibility} ${dir})
  endforeach()
endfunction()

# Compiles every header of `layer` on its own, seeing only `allowed` layers:
# header-only code (templates, the control table) is checked for the
# layering and for including what it uses, not only where it is used.
function(corvalin_check_layer_headers layer)
  if(WIN32 OR CORVALIN_FUZZ)
    return()
  endif()
  file(GLOB_RECURSE headers RELATIVE ${CMAKE_SOURCE_DIR}/${layer} CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/${layer}/*.h)
  set(sources)
  foreach(header IN LISTS headers)
    string(MAKE_C_IDENTIFIER ${header} name)
    set(source ${CMAKE_BINARY_DIR}/layer_checks/${layer}/${name}.cpp)
    set(text "#include \"${layer}/${header}\"\n")
    if(EXISTS ${source})
      file(READ ${source} old)
    endif()
    if(NOT old STREQUAL text)
      file(WRITE ${source} ${text})
    endif()
    list(APPEND sources ${source})
  endforeach()
  add_library(corvalin_${layer}_headers OBJECT ${sources})
  corvalin_layers(corvalin_${layer}_headers PRIVATE ${layer} ${ARGN})
endfunction()
