# Cross toolchain: 64-bit Windows EXEs/DLLs built with Debian's clang instead of g++, against the
# same mingw-w64 headers, runtime and libstdc++ (g++-mingw-w64-x86-64-posix), linked by lld. A
# second compiler for the same sources, so that constructs only GCC accepts show; the preset
# "windows-clang" builds every library and tool with it (no tests, no examples) and runs nothing.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VD_MINGW_TRIPLE x86_64-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake")

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${VD_MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${VD_MINGW_TRIPLE})
# The mingw-w64 tree as the sysroot: its headers and libraries, never the host's /usr/include
# (which clang's MinGW driver would otherwise add after them).
set(CMAKE_SYSROOT /usr/${VD_MINGW_TRIPLE})

# clang does not recognise Debian's GCC folder names (".../12-posix"), so it finds neither
# libstdc++'s headers nor libgcc: both are taken from where the posix g++ keeps them.
execute_process(COMMAND ${VD_MINGW_TRIPLE}-g++-posix -print-libgcc-file-name
                OUTPUT_VARIABLE _vd_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE _vd_status)
if(NOT _vd_status EQUAL 0 OR NOT EXISTS "${_vd_libgcc}")
    message(FATAL_ERROR "${VD_MINGW_TRIPLE}-g++-posix not found: install g++-mingw-w64-x86-64-posix "
                        "(clang uses its libstdc++)")
endif()
get_filename_component(_vd_gccdir "${_vd_libgcc}" DIRECTORY)
set(_vd_cxxinc "${_vd_gccdir}/include/c++")
# g++'s ABI for this target, which libstdc++ was built with: thread-local variables emulated
# (libstdc++'s own, call_once's among them, exist only as such), and what g++ predefines and
# clang 14 does not (without it each object defines type_info::operator== inline and the link
# meets libstdc++'s own definition twice).
set(CMAKE_C_FLAGS_INIT "-femulated-tls")
set(CMAKE_CXX_FLAGS_INIT "-femulated-tls -D__GXX_TYPEINFO_EQUALITY_INLINE=0 -D__GXX_MERGED_TYPEINFO_NAMES=0 -stdlib++-isystem ${_vd_cxxinc} -stdlib++-isystem ${_vd_cxxinc}/${VD_MINGW_TRIPLE} -stdlib++-isystem ${_vd_cxxinc}/backward")
# lld resolves archives in any order, so winpthread (which libstdc++ and libgcc's emulated TLS
# need in a static link) can be named once, up front.
set(_vd_link "-fuse-ld=lld -L${_vd_gccdir} ${VD_MINGW_STATIC_RUNTIME} -lpthread")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_vd_link}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_vd_link}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_vd_link}")
