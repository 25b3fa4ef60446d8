# Tests of the Windows cross build: the DLL's export and import tables, read
# with the cross binutils, and each test program run whole under Wine, headless,
# in a Wine prefix of the build's own.
set(DRIFTON_WINEPREFIX ${PROJECT_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix for the test runs")

add_test(NAME windows.plugin_binary
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DFILE=$<TARGET_FILE:drifton>
    -P ${PROJECT_SOURCE_DIR}/cmake/CheckPluginBinary.cmake)

# Creating a prefix takes several seconds; the test programs then share it.
add_test(NAME windows.wine_prefix
  COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/lib/wine.sh --init)
set_tests_properties(windows.wine_prefix PROPERTIES
  FIXTURES_SETUP wine_prefix
  ENVIRONMENT "WINEPREFIX=${DRIFTON_WINEPREFIX}")

# Runs `target` under Wine as the test windows.<name>, with GoogleTest's
# arguments ARGS and the extra VAR=value settings ENVIRONMENT.
function(drifton_add_wine_test target name)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "LABELS" "ARGS;ENVIRONMENT")
  add_test(NAME windows.${name}
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/lib/wine-gtest.sh
      $<TARGET_FILE:${target}> ${CMAKE_CURRENT_BINARY_DIR}/${name}.xml ${arg_ARGS})
  set_tests_properties(windows.${name} PROPERTIES
    FIXTURES_REQUIRED wine_prefix
    ENVIRONMENT "WINEPREFIX=${DRIFTON_WINEPREFIX};${arg_ENVIRONMENT}"
    LABELS "wine;${arg_LABELS}")
endfunction()

# The name the test list uses for a cross-built test program's run.
function(drifton_add_cross_test)
  drifton_add_wine_test(${ARGV})
endfunction()
