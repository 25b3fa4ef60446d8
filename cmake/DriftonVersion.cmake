# The project's version for the tools: link `drifton_version` and
# `#include "drifton_version.h"` to get DRIFTON_VERSION ("1.0.0").
configure_file(${CMAKE_CURRENT_LIST_DIR}/templates/drifton_version.h.in
  ${PROJECT_BINARY_DIR}/generated/drifton_version.h @ONLY)
add_library(drifton_version INTERFACE)
target_include_directories(drifton_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
