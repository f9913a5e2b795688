# Layers the build enforces. Each layer is one static library built from the
# folders it owns, and it sees only its own folders and those of the layers
# below it: its include path is a tree of links (build/layers/<layer>) to
# exactly those folders, so an include of a higher layer's header does not
# compile. The layer table is also written to build/layers/layers.txt, which
# the include test checks every source file against.
#
#   vandra_layer(<name> FOLDERS <folder>... [BELOW <lower layer>]
#                [HIDES <folder>...])
#
# creates the library vandra_<name> (linking the lower layer) and its
# include tree. Folders name source folders relative to the project root.
# HIDES leaves folders of the layers below out of this layer's tree alone:
# the layers above it see them again (the tables see no windows, though the
# dialogs above them do).

set(VANDRA_LAYER_ROOT ${CMAKE_BINARY_DIR}/layers)
file(REMOVE_RECURSE ${VANDRA_LAYER_ROOT})
file(MAKE_DIRECTORY ${VANDRA_LAYER_ROOT})
set(VANDRA_LAYERS "" CACHE INTERNAL "")

# Makes the include tree `tree` hold a link to each of the folders (or files).
# A folder inside another that the tree links already is reached through it.
function(vandra_link_tree tree)
  foreach(item ${ARGN})
    set(covered FALSE)
    foreach(other ${ARGN})
      string(FIND "${item}" "${other}/" at)
      if(at EQUAL 0)
        set(covered TRUE)
      endif()
    endforeach()
    if(covered)
      continue()
    endif()
    get_filename_component(parent ${tree}/${item} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${item} ${tree}/${item} SYMBOLIC)
  endforeach()
endfunction()

function(vandra_layer name)
  cmake_parse_arguments(L "" "BELOW" "FOLDERS;HIDES" ${ARGN})
  set(inherited ${L_FOLDERS})
  if(L_BELOW)
    list(APPEND inherited ${VANDRA_LAYER_${L_BELOW}_INHERITED})
  endif()
  set(visible ${inherited})
  if(L_HIDES)
    list(REMOVE_ITEM visible ${L_HIDES})
  endif()
  set(VANDRA_LAYER_${name}_FOLDERS ${L_FOLDERS} CACHE INTERNAL "")
  set(VANDRA_LAYER_${name}_INHERITED ${inherited} CACHE INTERNAL "")
  set(VANDRA_LAYER_${name}_VISIBLE ${visible} CACHE INTERNAL "")
  set(tree ${VANDRA_LAYER_ROOT}/${name})
  vandra_link_tree(${tree} ${visible})
  set(VANDRA_LAYERS ${VANDRA_LAYERS} ${name} CACHE INTERNAL "")
  # One line per layer: its name, its own folders, and what it may include.
  string(REPLACE ";" " " own "${L_FOLDERS}")
  string(REPLACE ";" " " all "${visible}")
  file(APPEND ${VANDRA_LAYER_ROOT}/layers.txt "${name} | ${own} | ${all}\n")

  add_library(vandra_${name} STATIC)
  target_include_directories(vandra_${name} PUBLIC ${tree})
  if(L_BELOW)
    target_link_libraries(vandra_${name} PUBLIC vandra_${L_BELOW})
  endif()
endfunction()
