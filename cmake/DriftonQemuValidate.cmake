# drifton-validate, cross-built for aarch64, under qemu-aarch64: against our
# plug-in at level 3 (the lowest that runs every check, the real-time one
# included; emulation is slow), judged by the closing count it
# prints and the JSON report it writes (scripts/lib/qemu-validate.sh); and
# against faulty effects, each of which must fail its check alone: a crash
# (named; the hostile calls, which only the faulty effect fails, go on) and
# a hang in a check's child process, and an effect that leaves flush-to-zero
# set in FPCR.
find_package(Threads REQUIRED)

add_test(NAME aarch64.drifton_validate
  COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/lib/qemu-validate.sh
    $<TARGET_FILE:drifton-validate> ${CMAKE_CURRENT_BINARY_DIR}/drifton_validate.json
    --plugin $<TARGET_FILE:drifton> --level 3 --seed 20261208 --time-limit 120)
set(validate_tests aarch64.drifton_validate)

set(validate_faults
  "crash_opcode hostile crashed with SIGSEGV (Segmentation fault) in dispatcher effGetVendorString"
  "hang opcodes no answer within the time limit of 10 s"
  "mxcsr fpmode changed FPCR from 0x0000 to 0x1000000")
foreach(case IN LISTS validate_faults)
  separate_arguments(case)
  list(POP_FRONT case fault check)
  list(JOIN case " " expected)
  add_library(faulty_${fault} MODULE ${PROJECT_SOURCE_DIR}/tests/validate/faulty_plugin.cpp)
  string(TOUPPER "${fault}" upper)
  target_compile_definitions(faulty_${fault} PRIVATE FAULT_${upper})
  set_target_properties(faulty_${fault} PROPERTIES PREFIX "")
  target_link_libraries(faulty_${fault} PRIVATE vst_interface Threads::Threads)
  drifton_set_warnings(faulty_${fault})
  add_test(NAME aarch64.drifton_validate.${fault}
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/lib/qemu-validate.sh
      $<TARGET_FILE:drifton-validate> ${CMAKE_CURRENT_BINARY_DIR}/drifton_validate.${fault}.json
      --expect-failure ${check} "${expected}"
      --plugin $<TARGET_FILE:faulty_${fault}> --only ${check} --seed 20261208 --time-limit 10)
  add_dependencies(drifton-validate faulty_${fault})
  list(APPEND validate_tests aarch64.drifton_validate.${fault})
endforeach()
set_tests_properties(${validate_tests} PROPERTIES LABELS "qemu;file")
