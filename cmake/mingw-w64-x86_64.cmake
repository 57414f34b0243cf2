# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the package
# g++-mingw-w64-x86-64-posix):
#
#   cmake -S . -B build-windows -DMOLVANE_WIDGET_FREE_ONLY=ON \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# The posix threading flavour: the C++ threads (std::thread, std::mutex,
# std::condition_variable) exist only in it with this compiler, the mail
# sender and the roster use them, and the toolkit's own MinGW builds use
# the same flavour. Programs are linked statically, so an .exe runs without
# the compiler's DLLs (libstdc++, libgcc, winpthread) beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
