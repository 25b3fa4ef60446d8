# What ships besides the binaries, the Debian package (CPack) and the release
# archive (`archive` target). Names and version come from project().
set(DRIFTON_MAINTAINER "K'q Lum-vee <drifton@kq-lum-vee.example>")

# The documentation every install carries.
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${DRIFTON_INSTALL_DOCDIR} COMPONENT doc)

if(NOT WIN32)
  # Debian wants a copyright file and, for a native package, changelog.gz.
  find_program(DRIFTON_GZIP gzip REQUIRED)
  string(TIMESTAMP DRIFTON_RELEASE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in
    ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.gz
    COMMAND ${DRIFTON_GZIP} -9 -n -c changelog > changelog.gz
    DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/packaging
    VERBATIM)
  add_custom_target(drifton_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
  add_dependencies(drifton_shipped drifton_changelog)
  install(FILES
      ${PROJECT_SOURCE_DIR}/packaging/debian/copyright
      ${PROJECT_BINARY_DIR}/packaging/changelog.gz
    DESTINATION ${DRIFTON_INSTALL_DOCDIR} COMPONENT doc)
endif()

# The release archive: the plug-in, stripped, the README and the install note
# of the platform, in one folder named like the archive.
if(WIN32)
  set(drifton_archive_platform windows-x64)
  set(drifton_archive_format zip)
  set(drifton_archive_suffix zip)
  set(drifton_install_note ${PROJECT_SOURCE_DIR}/packaging/windows/INSTALL.txt)
else()
  # linux-x86_64, or linux-aarch64 from the cross build.
  set(drifton_archive_platform linux-${CMAKE_SYSTEM_PROCESSOR})
  set(drifton_archive_format gnutar)
  set(drifton_archive_suffix tar.gz)
  set(drifton_install_note ${PROJECT_SOURCE_DIR}/packaging/linux/INSTALL.txt)
endif()
set(DRIFTON_ARCHIVE_NAME "KqDrifton-${PROJECT_VERSION}-${drifton_archive_platform}")
set(drifton_archive_root ${PROJECT_BINARY_DIR}/archive)
file(MAKE_DIRECTORY ${drifton_archive_root})
set(drifton_archive_stage ${drifton_archive_root}/${DRIFTON_ARCHIVE_NAME})
set(DRIFTON_ARCHIVE_FILE ${drifton_archive_root}/${DRIFTON_ARCHIVE_NAME}.${drifton_archive_suffix})
configure_file(${drifton_install_note} ${PROJECT_BINARY_DIR}/packaging/INSTALL.txt @ONLY)
if(drifton_archive_format STREQUAL "gnutar")
  set(drifton_tar_flags czf)
else()
  set(drifton_tar_flags cf)
endif()
# The Linux archive carries the LV2 bundle too, its binary stripped the same
# way; the Windows archive is the VST edition alone.
set(drifton_archive_lv2 "")
set(drifton_archive_lv2_depends "")
if(TARGET drifton_lv2_plugin)
  set(lv2_stage ${drifton_archive_stage}/kq-drifton.lv2)
  set(drifton_archive_lv2
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${DRIFTON_LV2_BUNDLE_DIR} ${lv2_stage}
    COMMAND ${CMAKE_STRIP} --strip-unneeded ${lv2_stage}/$<TARGET_FILE_NAME:drifton_lv2_plugin>
    COMMAND chmod 0644 ${lv2_stage}/manifest.ttl ${lv2_stage}/kq-drifton.ttl
      ${lv2_stage}/$<TARGET_FILE_NAME:drifton_lv2_plugin>)
  set(drifton_archive_lv2_depends drifton_lv2_plugin)
endif()
add_custom_command(OUTPUT ${DRIFTON_ARCHIVE_FILE}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${drifton_archive_stage} ${DRIFTON_ARCHIVE_FILE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${drifton_archive_stage}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:drifton> ${PROJECT_SOURCE_DIR}/README.md
    ${PROJECT_BINARY_DIR}/packaging/INSTALL.txt ${drifton_archive_stage}
  COMMAND ${CMAKE_STRIP} --strip-unneeded ${drifton_archive_stage}/$<TARGET_FILE_NAME:drifton>
  COMMAND chmod 0644 ${drifton_archive_stage}/$<TARGET_FILE_NAME:drifton>
  ${drifton_archive_lv2}
  COMMAND ${CMAKE_COMMAND} -E tar ${drifton_tar_flags} ${DRIFTON_ARCHIVE_FILE}
    --format=${drifton_archive_format} ${DRIFTON_ARCHIVE_NAME}
  DEPENDS drifton ${drifton_archive_lv2_depends} ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_BINARY_DIR}/packaging/INSTALL.txt
  WORKING_DIRECTORY ${drifton_archive_root}
  VERBATIM)
add_custom_target(archive DEPENDS ${DRIFTON_ARCHIVE_FILE})

if(WIN32)
  return()
endif()

# The Debian package: everything `cmake --install` puts under /usr. Installing
# (and so CPack) builds only what ships: scripts/package.sh builds that first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)
if(CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
  set(drifton_deb_arch arm64)
else()
  execute_process(COMMAND dpkg --print-architecture
    OUTPUT_VARIABLE drifton_deb_arch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT drifton_deb_arch)
    set(drifton_deb_arch amd64)
  endif()
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kq-drifton)
set(CPACK_PACKAGE_VENDOR "K'q Lum-vee")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${DRIFTON_MAINTAINER}")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME "kq-drifton_${PROJECT_VERSION}_${drifton_deb_arch}.deb")
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${drifton_deb_arch})
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
if(CMAKE_CROSSCOMPILING)
  # dpkg-shlibdeps looks for the target's libraries where a multiarch
  # install of that architecture puts them, and the cross compiler's copies
  # (/usr/aarch64-linux-gnu) belong to the *-cross packages, whose names are
  # not the target's. So the cross package names its dependencies itself:
  # scripts/package.sh checks them against the versioned symbols the
  # binaries need.
  set(DRIFTON_CROSS_DEB_DEPENDS "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 11)"
    CACHE STRING "Depends of the cross-built Debian package")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${DRIFTON_CROSS_DEB_DEPENDS}")
else()
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
# The summary, then the extended description (CPack indents its lines).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "tempo-synchronised stereo auto-panner (VST 2.4 and LV2 plug-in)
K'q Drifton sweeps a stereo signal between left and right in time with the
host's song position and tempo. The sweep's period is a note division from
1/1 to 1/64, its shape triangle, sine-shaped or square, with adjustable
width and phase shift; the pan position is smoothed and applied through a
constant-power pan law.
.
The VST 2.4 plug-in is installed into /usr/lib/vst, where Linux hosts that
load VST 2.4 effects look by default; the LV2 edition, the same panner, into
/usr/lib/lv2/kq-drifton.lv2, where LV2 hosts look.")
include(CPack)
