# 32-bit x86 Linux build (g++-multilib), run by the user-mode emulator: the build machine's
# kernel cannot start 32-bit programs itself. Use with
#   cmake -S . -B build-i386 -DCMAKE_TOOLCHAIN_FILE=cmake/linux-i386.cmake
# size_t is 32 bits here and long double the x87 80-bit type, so the core's size and offset
# arithmetic and its extended-precision level scale run as on the i686 Windows target.
# Everything is linked static: the emulator then needs no 32-bit loader or libraries.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32 -static")

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386-static)
set(ZLIB_USE_STATIC_LIBS ON)
