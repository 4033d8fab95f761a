# The installed CMake package "vdplayer".
#
#   vd_package_library(<target> NAME <name> [HEADERS <header>...])
#       Makes a library target part of the package: the alias vd::<name> (the exported name
#       too), its include directory (its source folder in the build tree, <prefix>/include once
#       installed, so users write #include <vd/vd_xxx.h>), C++20 for its users, and its public
#       headers installed flat into <prefix>/include/vd (every name starts with vd_, so the
#       quote-includes between them resolve in that one folder). In-tree code links the plain
#       target names.
#
#   vd_install_package()
#       Installs the libraries marked above with their export set vdplayerTargets, the package
#       configuration and version files into <prefix>/lib/cmake/vdplayer. Called once, last.
#
# Other files of a Windows package, in VD_INSTALL_PKGLIBDIR (lib/vdplayer): the built-in
# movies' resource object (resources/; the exported vd::store_win adds it to every final link,
# as vd_store_win does in the build tree) and the Flash control's type library (hosted/;
# vdplayer_FLASH_OCX_TLB after find_package).
# The form tool vdform goes into <prefix>/bin (tools/vdform/; vdplayer_VDFORM after
# find_package).

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VD_PACKAGE_CMAKE_DIR "${CMAKE_CURRENT_LIST_DIR}")

set(VD_INSTALL_HEADERDIR "${CMAKE_INSTALL_INCLUDEDIR}/vd")
set(VD_INSTALL_PKGLIBDIR "${CMAKE_INSTALL_LIBDIR}/vdplayer")
set(VD_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/vdplayer")
set(VD_INSTALL_MOVIE_RESOURCES "${VD_INSTALL_PKGLIBDIR}/vd_movies.obj")

function(vd_package_library target)
    cmake_parse_arguments(PARSE_ARGV 1 P "" "NAME" "HEADERS")
    if(NOT P_NAME OR P_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "vd_package_library(${target}): NAME <name> [HEADERS <header>...]")
    endif()
    add_library(vd::${P_NAME} ALIAS ${target})
    set_target_properties(${target} PROPERTIES EXPORT_NAME ${P_NAME})
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
        set(scope INTERFACE)
    else()
        set(scope PUBLIC)
    endif()
    target_include_directories(${target} ${scope}
        $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}>
        $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
    target_compile_features(${target} ${scope} cxx_std_20)
    if(P_HEADERS)
        install(FILES ${P_HEADERS} DESTINATION "${VD_INSTALL_HEADERDIR}")
    endif()
    set_property(GLOBAL APPEND PROPERTY VD_PACKAGE_TARGETS ${target})
endfunction()

function(vd_install_package)
    get_property(targets GLOBAL PROPERTY VD_PACKAGE_TARGETS)
    install(TARGETS ${targets}
            EXPORT vdplayerTargets
            ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}"
            LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}"
            RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
    install(EXPORT vdplayerTargets
            NAMESPACE vd::
            DESTINATION "${VD_INSTALL_CMAKEDIR}")

    set(config "${CMAKE_BINARY_DIR}/package/vdplayerConfig.cmake")
    set(version "${CMAKE_BINARY_DIR}/package/vdplayerConfigVersion.cmake")
    configure_package_config_file("${VD_PACKAGE_CMAKE_DIR}/vdplayerConfig.cmake.in" "${config}"
        INSTALL_DESTINATION "${VD_INSTALL_CMAKEDIR}"
        PATH_VARS VD_INSTALL_PKGLIBDIR CMAKE_INSTALL_BINDIR)
    # Not ARCH_INDEPENDENT: a 64-bit tree's package is refused to a 32-bit project and back.
    write_basic_package_version_file("${version}" COMPATIBILITY SameMajorVersion)
    install(FILES "${config}" "${version}" DESTINATION "${VD_INSTALL_CMAKEDIR}")
endfunction()
