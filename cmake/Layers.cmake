# One-way layers. Each layer target compiles against an include root of its
# own that holds links to its own headers only; the roots of the layers below
# arrive through the targets it links. A header of a higher layer is not in
# any root a lower layer sees, so including one fails the build.
#
# artnet_layer_headers(TARGET VISIBILITY ENTRY...)
#   ENTRY "DIR=PREFIX":  every *.h directly in DIR (not its subfolders),
#                        reachable as "PREFIX/name.h"
#   ENTRY "FILE=PREFIX": that one header, reachable as "PREFIX/name.h"
# Paths are relative to the project's source folder.
function(artnet_layer_headers target visibility)
  set(root ${CMAKE_BINARY_DIR}/layer-headers/${target})
  file(REMOVE_RECURSE ${root})
  foreach(entry IN LISTS ARGN)
    string(REPLACE "=" ";" parts ${entry})
    list(GET parts 0 path)
    list(GET parts 1 prefix)
    set(path ${PROJECT_SOURCE_DIR}/${path})
    if(IS_DIRECTORY ${path})
      file(GLOB headers CONFIGURE_DEPENDS ${path}/*.h)
    else()
      set(headers ${path})
    endif()
    file(MAKE_DIRECTORY ${root}/${prefix})
    foreach(header IN LISTS headers)
      get_filename_component(name ${header} NAME)
      file(CREATE_LINK ${header} ${root}/${prefix}/${name} SYMBOLIC)
    endforeach()
  endforeach()
  target_include_directories(${target} ${visibility} ${root})
endfunction()
