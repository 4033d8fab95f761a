# The movie store and movie addressing, included from the top-level CMakeLists.txt (and from
# the player's own CMakeLists.txt when it wants them by name):
#   vd_player_store      platform-free: names, pseudo-URLs, stream tokens, the store classes;
#                        built natively (sanitizers, fuzzers) and for Windows
#   vd_player_store_win  Windows only: the built-in movie resources and the file-existence
#                        test; carries the resource object, so whatever links it (EXE or
#                        DLL) becomes the module the lookup searches
include_guard(GLOBAL)

add_library(vd_player_store STATIC
    "${CMAKE_CURRENT_LIST_DIR}/vd_movienames.cpp"
    "${CMAKE_CURRENT_LIST_DIR}/vd_flashstore.cpp")
target_include_directories(vd_player_store PUBLIC "${CMAKE_CURRENT_LIST_DIR}")
target_link_libraries(vd_player_store PUBLIC vd_core PRIVATE vd_warnings)

if(VD_WINDOWS AND NOT VD_FUZZ)
    if(NOT TARGET vd_movie_resources)
        add_subdirectory("${CMAKE_CURRENT_LIST_DIR}/../resources" "${CMAKE_BINARY_DIR}/resources")
    endif()
    add_library(vd_player_store_win STATIC "${CMAKE_CURRENT_LIST_DIR}/vd_movieres_win.cpp")
    target_link_libraries(vd_player_store_win PUBLIC vd_player_store PRIVATE vd_warnings)
    # The resource object travels to the final link as a source of every consumer.
    target_sources(vd_player_store_win INTERFACE $<TARGET_OBJECTS:vd_movie_resources>)
elseif(NOT VD_FUZZ AND NOT TARGET vd_movies)
    # Natively the movies are still written, for the tests that read them.
    add_subdirectory("${CMAKE_CURRENT_LIST_DIR}/../resources" "${CMAKE_BINARY_DIR}/resources")
endif()
