# quelvaren_sala(<room> [USA <rooms...>])
# The library of one room of the program, quelvaren_<room>: its sources are
# added by the room's own CMakeLists.txt. It links the rooms it may use, and
# those links are its only doors to other rooms: `ctest -L estructura` holds
# every include of the room against them (tests/estructura).
function(quelvaren_sala sala)
    cmake_parse_arguments(ARG "" "" "USA" ${ARGN})
    add_library(quelvaren_${sala} STATIC)
    target_link_libraries(quelvaren_${sala} PUBLIC quelvaren_raiz)
    foreach(otra IN LISTS ARG_USA)
        target_link_libraries(quelvaren_${sala} PUBLIC quelvaren_${otra})
    endforeach()
endfunction()
