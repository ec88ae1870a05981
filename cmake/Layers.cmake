# The layers of the tree and how a target reaches a header.
#
# Sources include headers by their path from the top of the tree
# ("rtl/System.h", "crash/engine/ECore.h"). A layer does not put the top of
# the tree on its include path: it gets an include root of its own in the build
# folder that holds nothing but a link to its folder, and passes that root on
# to whoever links it. So a layer sees exactly the layers it links, and an
# include of a higher layer fails to compile instead of tying the layers into a
# circle.

# layer_sources(VAR FOLDER...)
# The .cpp files of each FOLDER (relative to the current source folder). A
# folder that is missing or holds no source is an error, so that a file moved
# away cannot silently drop out of a library.
function(layer_sources var)
  set(sources)
  foreach(folder ${ARGN})
    set(path "${CMAKE_CURRENT_SOURCE_DIR}/${folder}")
    if(NOT IS_DIRECTORY "${path}")
      message(FATAL_ERROR "layer_sources: folder ${path} does not exist")
    endif()
    file(GLOB found CONFIGURE_DEPENDS "${path}/*.cpp")
    if(NOT found)
      message(FATAL_ERROR "layer_sources: folder ${path} holds no .cpp file")
    endif()
    list(APPEND sources ${found})
  endforeach()
  set(${var} ${sources} PARENT_SCOPE)
endfunction()

# layer_include_root(TARGET FOLDER)
# Gives TARGET (and everything that links it) the include root in which FOLDER,
# a path from the top of the tree, is the only entry.
function(layer_include_root target folder)
  set(root "${CMAKE_BINARY_DIR}/layers/${target}")
  set(source "${CMAKE_SOURCE_DIR}/${folder}")
  if(NOT IS_DIRECTORY "${source}")
    message(FATAL_ERROR "layer_include_root: folder ${source} does not exist")
  endif()
  get_filename_component(parent "${root}/${folder}" DIRECTORY)
  file(MAKE_DIRECTORY "${parent}")
  file(CREATE_LINK "${source}" "${root}/${folder}" SYMBOLIC)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE "${root}")
  else()
    target_include_directories(${target} PUBLIC "${root}")
  endif()
endfunction()
