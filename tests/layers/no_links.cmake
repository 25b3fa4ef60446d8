# Fails when the build tree holds a symbolic link: include folders are the
# source tree's own, so diagnostics and editors point into it.
file(GLOB_RECURSE links LIST_DIRECTORIES true FOLLOW_SYMLINKS false "${BUILD_DIR}/*")
set(found "")
foreach(path IN LISTS links)
  if(IS_SYMLINK "${path}")
    list(APPEND found "${path}")
  endif()
endforeach()
if(found)
  message(FATAL_ERROR "symbolic links in the build tree: ${found}")
endif()
