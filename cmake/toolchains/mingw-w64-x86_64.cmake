# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64).
# The posix flavour of the compiler, because std::thread and std::mutex need it;
# everything is linked statically, so the binaries import nothing beyond the
# system DLLs every Windows has.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(DRIFTON_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${DRIFTON_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DRIFTON_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${DRIFTON_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${DRIFTON_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${DRIFTON_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# GCC cannot keep the stack 32-byte aligned on Windows x64, yet emits aligned
# moves for 256-bit spills; encoding them as unaligned moves costs nothing on
# processors with AVX and keeps the AVX2 kernel from faulting.
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
set(CMAKE_C_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")

set(_drifton_static_runtime "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_drifton_static_runtime}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_drifton_static_runtime}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_drifton_static_runtime}")
