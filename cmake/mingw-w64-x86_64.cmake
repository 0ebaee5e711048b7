# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 compilers (the
# POSIX thread model, for std::thread and std::mutex), run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TRELLIN_MINGW_TRIPLET x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${TRELLIN_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TRELLIN_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TRELLIN_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TRELLIN_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs the build runs on the build machine go through Wine.
find_program(TRELLIN_WINE wine)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TRELLIN_WINE})

# Every DLL and program carries its own C++ runtime, libgcc and winpthread
# (-static takes the archives of the libraries that have both), so that
# nothing but Windows' own DLLs (and ours) is needed beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${CMAKE_EXE_LINKER_FLAGS_INIT}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${CMAKE_EXE_LINKER_FLAGS_INIT}")
# Win64 aligns the stack to 16 bytes only, so an AVX or AVX-512 vector the
# compiler spills to the stack may lie unaligned: the assembler turns every
# aligned vector move into an unaligned one, which is as fast on aligned data.
set(CMAKE_C_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
