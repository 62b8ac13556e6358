# Cross build for 64-bit Windows with MinGW-w64 (POSIX thread model, which
# GoogleTest needs for std::mutex). Use with
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(HL_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${HL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${HL_MINGW_TRIPLET}-windres)

# Look for headers, libraries and packages only in the MinGW sysroot, so the
# native GoogleTest and benchmark packages of the build machine are never picked up.
set(CMAKE_FIND_ROOT_PATH /usr/${HL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest runs the .exe files under Wine through this wrapper.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
