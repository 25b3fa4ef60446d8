# Where `cmake --install` puts things. Linux hosts scan <prefix>/lib/vst (for
# /usr that is where Debian's VST packages go), which is not GNUInstallDirs'
# multiarch library folder, so it is named here.
include(GNUInstallDirs)
set(DRIFTON_INSTALL_VSTDIR "lib/vst" CACHE STRING "Plug-in folder, relative to the install prefix")
# LV2 hosts look in <prefix>/lib/lv2 (Debian's LV2 packages use /usr/lib/lv2).
set(DRIFTON_INSTALL_LV2DIR "lib/lv2" CACHE STRING "LV2 bundle folder, relative to the install prefix")
set(DRIFTON_INSTALL_DOCDIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/kq-drifton"
  CACHE STRING "Documentation folder, relative to the install prefix")

# Builds what `cmake --install` and the package need, and nothing else.
add_custom_target(drifton_shipped)

# Manual pages are made from the tools' --help and --version with help2man,
# where it is installed (scripts/package.sh installs it for the package).
find_program(DRIFTON_HELP2MAN help2man)
find_program(DRIFTON_GZIP gzip)

# One shipped command-line tool: into bin/, with the `tools` component, and
# its manual page, whose NAME line says `summary`.
function(drifton_install_tool target summary)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  add_dependencies(drifton_shipped ${target})
  if(DRIFTON_HELP2MAN AND DRIFTON_GZIP AND NOT CMAKE_CROSSCOMPILING)
    set(page ${PROJECT_BINARY_DIR}/man/${target}.1)
    file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/man)
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${DRIFTON_HELP2MAN} --no-info --name=${summary} --output=${page}
        $<TARGET_FILE:${target}>
      COMMAND ${DRIFTON_GZIP} -9 -n -f ${page}
      DEPENDS ${target}
      VERBATIM)
    add_custom_target(${target}_manual ALL DEPENDS ${page}.gz)
    add_dependencies(drifton_shipped ${target}_manual)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
  endif()
endfunction()
