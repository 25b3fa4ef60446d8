# Where `cmake --install` puts things. Linux hosts scan <prefix>/lib/vst (for
# /usr that is where Debian's VST packages go), which is not GNUInstallDirs'
# multiarch library folder, so it is named here.
include(GNUInstallDirs)
set(DRIFTON_INSTALL_VSTDIR "lib/vst" CACHE STRING "Plug-in folder, relative to the install prefix")
set(DRIFTON_INSTALL_DOCDIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/kq-drifton"
  CACHE STRING "Documentation folder, relative to the install prefix")

# Builds what `cmake --install` and the package need, and nothing else.
add_custom_target(drifton_shipped)

# One shipped command-line tool: into bin/, with the `tools` component.
function(drifton_install_tool target)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  add_dependencies(drifton_shipped ${target})
endfunction()
