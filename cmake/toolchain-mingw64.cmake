# Cross toolchain: 64-bit Windows EXEs/DLLs built with Debian's mingw-w64 (posix threads flavour)
# and run under Wine. Use with: cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VD_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${VD_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VD_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${VD_MINGW_TRIPLE}-windres)
set(CMAKE_AR           ${VD_MINGW_TRIPLE}-ar)
set(CMAKE_RANLIB       ${VD_MINGW_TRIPLE}-ranlib)

# Headers and libraries of the target (zlib from libz-mingw-w64-dev lives here).
set(CMAKE_FIND_ROOT_PATH /usr/${VD_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Link the GCC runtime, libstdc++ and winpthread into every EXE and DLL, so each one runs
# under Wine (or on Windows) with nothing beside it.
set(VD_MINGW_STATIC_RUNTIME "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT    "${VD_MINGW_STATIC_RUNTIME}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${VD_MINGW_STATIC_RUNTIME}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${VD_MINGW_STATIC_RUNTIME}")

# try_run, add_test with an executable target and ctest go through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh")
