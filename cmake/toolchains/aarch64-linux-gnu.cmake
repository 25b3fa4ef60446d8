# Cross-compiles for 64-bit ARM Linux with Debian's g++-aarch64-linux-gnu.
# The programs run on an x86-64 machine under qemu-aarch64 (qemu-user) with
# the cross C library's folder as their root for the dynamic loader; the
# tests are registered that way (cmake/DriftonQemuTests.cmake).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(DRIFTON_CROSS_TRIPLE aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${DRIFTON_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${DRIFTON_CROSS_TRIPLE}-g++)
set(CMAKE_OBJDUMP ${DRIFTON_CROSS_TRIPLE}-objdump)
set(CMAKE_STRIP ${DRIFTON_CROSS_TRIPLE}-strip)

# Where the cross C and C++ libraries live (libc6-dev-arm64-cross).
set(DRIFTON_CROSS_SYSROOT /usr/${DRIFTON_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH ${DRIFTON_CROSS_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs the build runs (none today) and ctest's plain commands go through
# the emulator.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L ${DRIFTON_CROSS_SYSROOT})
