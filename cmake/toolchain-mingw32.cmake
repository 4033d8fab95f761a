# Cross toolchain: 32-bit Windows EXEs/DLLs built with Debian's mingw-w64
# (g++-mingw-w64-i686-posix). Built here to keep the code 32-bit clean (pointer-size dependent
# record layouts, calling conventions); its tests are not run here.
# Use with: cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake (preset "windows32").
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VD_MINGW_TRIPLE i686-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake")
