# Include roots that enforce the layers. Each target exposes one root of its
# own, a folder in the build tree holding a single link `<name>` to the
# target's source folder, so that its headers read "<name>/header.h" and are
# visible only to targets that link it: a header included the wrong way
# (host -> framework, framework -> panner, ...) is not found.
#
#   drifton_include_root(<target> <PUBLIC|INTERFACE|PRIVATE> <name>)
#
# <name> may have several parts ("tools/common"); the link points at the
# calling CMakeLists.txt's folder.
function(drifton_include_root target scope name)
  set(root "${PROJECT_BINARY_DIR}/include_roots/${target}")
  set(link "${root}/${name}")
  get_filename_component(parent "${link}" DIRECTORY)
  file(MAKE_DIRECTORY "${parent}")
  if(IS_SYMLINK "${link}")
    file(READ_SYMLINK "${link}" current)
    if(NOT current STREQUAL CMAKE_CURRENT_SOURCE_DIR)
      file(REMOVE "${link}")
    endif()
  endif()
  if(NOT EXISTS "${link}")
    file(CREATE_LINK "${CMAKE_CURRENT_SOURCE_DIR}" "${link}" SYMBOLIC)
  endif()
  target_include_directories(${target} ${scope} "${root}")
endfunction()
