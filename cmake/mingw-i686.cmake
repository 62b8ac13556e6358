# Cross build for 32-bit Windows with MinGW-w64 (POSIX thread model). Use with
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
# No emulator: the build machine cannot run 32-bit code, so this build is
# compiled and linked only. The top-level CMakeLists.txt adds -msse2
# -mfpmath=sse for this processor so float and double are not kept in x87 registers.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(HL_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${HL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${HL_MINGW_TRIPLET}-windres)

# Only the MinGW sysroot, never the build machine's own packages.
set(CMAKE_FIND_ROOT_PATH /usr/${HL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
