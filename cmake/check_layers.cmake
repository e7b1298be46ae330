# Refuses an include that runs up the layers.
#
#   cmake -DSOURCE_DIR=<src> -P cmake/check_layers.cmake
#
# Every file of SOURCE_DIR/<layer>/ may include "<other>/..." only when
# <other> is its own layer or one listed before it below. The binding
# (python), the web page (wasm) and the command line (cli) sit side by side
# on top: none of them includes another. A folder not named here is refused,
# so a new layer is placed in the order before its first file builds.
#
# The order, lowest first; a layer's entry lists what it may include.
set(LAYER_core core)
set(LAYER_formats core formats)
set(LAYER_engine core formats engine)
set(LAYER_output core formats engine output)
set(LAYER_python core formats engine output python)
set(LAYER_wasm core formats engine output wasm)
set(LAYER_cli core formats engine output cli)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "check_layers: SOURCE_DIR must name the source folder")
endif()
get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)
if(NOT IS_DIRECTORY "${SOURCE_DIR}")
  message(FATAL_ERROR "check_layers: SOURCE_DIR must name the source folder")
endif()

file(GLOB_RECURSE files RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*.cpp" "${SOURCE_DIR}/*.hpp"
     "${SOURCE_DIR}/*.h" "${SOURCE_DIR}/*.c")
set(faults 0)
set(checked 0)
foreach(file IN LISTS files)
  string(REGEX MATCH "^[^/]+" layer "${file}")
  if(layer STREQUAL file OR NOT DEFINED LAYER_${layer})
    message(SEND_ERROR "${file}: \"${layer}\" is not a layer (cmake/check_layers.cmake lists them)")
    math(EXPR faults "${faults} + 1")
    continue()
  endif()
  file(STRINGS "${SOURCE_DIR}/${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"/]+/")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"/]+)/.*$" "\\1" target "${line}")
    math(EXPR checked "${checked} + 1")
    list(FIND LAYER_${layer} "${target}" allowed)
    if(allowed EQUAL -1)
      message(SEND_ERROR "${file}: includes from a layer above its own (${layer} may include ${LAYER_${layer}}): ${line}")
      math(EXPR faults "${faults} + 1")
    endif()
  endforeach()
endforeach()
# A pattern that matched nothing would pass every tree.
if(checked EQUAL 0)
  message(FATAL_ERROR "check_layers: no include of a layer found under ${SOURCE_DIR}")
endif()
if(faults GREATER 0)
  message(FATAL_ERROR "${faults} layer fault(s)")
endif()
message(STATUS "layer order kept: ${checked} includes checked")
