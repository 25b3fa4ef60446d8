# Tests of the aarch64 cross build: the plug-in file's export and library
# lists, read with the cross binutils, and each test program run whole under
# qemu-aarch64 with the cross C library (scripts/lib/qemu-gtest.sh), which
# judges the run by GoogleTest's XML report, not by the exit status alone.

add_test(NAME aarch64.plugin_binary
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DFILE=$<TARGET_FILE:drifton>
    -P ${PROJECT_SOURCE_DIR}/cmake/CheckPluginBinary.cmake)

# Runs `target` under qemu-aarch64 as the test aarch64.<name>, with
# GoogleTest's arguments ARGS and the extra VAR=value settings ENVIRONMENT.
function(drifton_add_cross_test target name)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "LABELS" "ARGS;ENVIRONMENT")
  add_test(NAME aarch64.${name}
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/lib/qemu-gtest.sh
      $<TARGET_FILE:${target}> ${CMAKE_CURRENT_BINARY_DIR}/${name}.xml ${arg_ARGS})
  set_tests_properties(aarch64.${name} PROPERTIES
    ENVIRONMENT "${arg_ENVIRONMENT}"
    LABELS "qemu;${arg_LABELS}")
endfunction()
