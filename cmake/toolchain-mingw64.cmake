# Cross toolchain: 64-bit Windows EXEs/DLLs built with Debian's mingw-w64 (posix threads flavour)
# and run under Wine. Use with: cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
# (or the preset "windows" of CMakePresets.json).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VD_MINGW_TRIPLE x86_64-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake")
