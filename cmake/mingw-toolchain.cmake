# What both mingw-w64 toolchain files share (Debian's posix threads flavour, run under Wine).
# The including file sets VD_MINGW_TRIPLE and CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${VD_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VD_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${VD_MINGW_TRIPLE}-windres)
set(CMAKE_AR           ${VD_MINGW_TRIPLE}-ar)
set(CMAKE_RANLIB       ${VD_MINGW_TRIPLE}-ranlib)

# Headers and libraries of the target (zlib from libz-mingw-w64-dev lives here). Prefixes given
# in CMAKE_PREFIX_PATH are roots too, so a project built with this toolchain finds packages
# installed there (e.g. this library's install prefix) but never the host's own packages.
set(CMAKE_FIND_ROOT_PATH /usr/${VD_MINGW_TRIPLE} ${CMAKE_PREFIX_PATH})
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
