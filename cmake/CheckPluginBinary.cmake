# Checks a built plug-in file (Windows x64, Linux x86-64 or aarch64) with objdump: it exports exactly EXPORTS
# (VSTPluginMain and main unless named; lv2_descriptor for the LV2 binary),
# and (unless EXPORTS_ONLY is set, as for sanitizer builds) needs no library
# beyond those every system of its kind has.
#   cmake -DOBJDUMP=<objdump> -DFILE=<KqDrifton.dll|.so> [-DEXPORTS="a;b"] [-DEXPORTS_ONLY=ON] -P CheckPluginBinary.cmake
cmake_minimum_required(VERSION 3.25)
foreach(variable IN ITEMS OBJDUMP FILE)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "CheckPluginBinary: set -D${variable}=...")
  endif()
endforeach()
if(NOT EXISTS "${FILE}")
  message(FATAL_ERROR "${FILE}: no such file")
endif()

execute_process(COMMAND ${OBJDUMP} -p "${FILE}"
  OUTPUT_VARIABLE headers RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${FILE} failed: ${errors}")
endif()

if(headers MATCHES "file format pei-x86-64")
  # The export table's name list: lines "\t[   0] VSTPluginMain".
  string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([ \t]+\\[[^\n]*\n)*" table "${headers}")
  string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" exports "${table}")
  list(TRANSFORM exports REPLACE "^\\[ *[0-9]+\\] " "")
  string(REGEX MATCHALL "DLL Name: [^\n]*" dlls "${headers}")
  list(TRANSFORM dlls REPLACE "^DLL Name: " "")
  # What every Windows has: nothing of MinGW's own runtime.
  set(allowed_libraries KERNEL32.dll msvcrt.dll)
elseif(headers MATCHES "file format elf64-(x86-64|littleaarch64)")
  execute_process(COMMAND ${OBJDUMP} -T "${FILE}" OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
  # Defined dynamic symbols: every line of the table that is not *UND*.
  string(REGEX MATCHALL "\n[0-9a-f]+ [^\n]*" lines "${symbols}")
  set(exports "")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "\\*UND\\*" AND line MATCHES "[ \t]([A-Za-z_][A-Za-z0-9_]*)$")
      list(APPEND exports ${CMAKE_MATCH_1})
    endif()
  endforeach()
  string(REGEX MATCHALL "NEEDED +[^\n]*" dlls "${headers}")
  list(TRANSFORM dlls REPLACE "^NEEDED +" "")
  set(allowed_libraries libc.so.6 libm.so.6 libstdc++.so.6 libgcc_s.so.1)
else()
  message(FATAL_ERROR "${FILE}: neither a 64-bit Windows DLL nor a 64-bit x86-64 or AArch64 ELF file")
endif()

if(NOT DEFINED EXPORTS)
  set(EXPORTS "VSTPluginMain;main")
endif()
list(SORT exports)
if(NOT exports STREQUAL EXPORTS)
  message(FATAL_ERROR "${FILE} exports [${exports}], not exactly [${EXPORTS}]")
endif()
set(unexpected ${dlls})
list(REMOVE_ITEM unexpected ${allowed_libraries})
if(unexpected AND NOT EXPORTS_ONLY)
  message(FATAL_ERROR "${FILE} needs [${unexpected}] beyond [${allowed_libraries}]")
endif()
message(STATUS "${FILE}: exports [${exports}], needs [${dlls}]")
