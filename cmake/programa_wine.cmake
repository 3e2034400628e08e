# A Windows program made of the Qt-free Windows output and the doubles of
# Core Audio (tests/support/dobles_core_audio.h), built with MinGW-w64's POSIX
# threads flavour to run under Wine: the output's test and its benchmark.
# Leaves the program's path in <salida>, and makes nothing when the compiler
# is missing.
#
#   quelvaren_programa_wine(<objetivo> <salida> FUENTES ... [INCLUYE dir ...]
#                           [DEPENDE file ...] COMENTARIO text)
function(quelvaren_programa_wine objetivo salida)
    cmake_parse_arguments(arg "" "COMENTARIO" "FUENTES;INCLUYE;DEPENDE" ${ARGN})
    set(programa ${CMAKE_CURRENT_BINARY_DIR}/${objetivo}.exe)
    set(${salida} ${programa} PARENT_SCOPE)
    find_program(QUELVAREN_MINGW_POSIX_x86_64 x86_64-w64-mingw32-g++-posix)
    if(NOT QUELVAREN_MINGW_POSIX_x86_64)
        return()
    endif()
    set(volumen ${PROJECT_SOURCE_DIR}/volume)
    set(fuentes ${volumen}/salida_windows.cpp ${volumen}/politica_correcciones.cpp ${arg_FUENTES})
    list(TRANSFORM arg_INCLUYE PREPEND -I)
    add_custom_command(
        OUTPUT ${programa}
        COMMAND ${QUELVAREN_MINGW_POSIX_x86_64} -std=c++20 -Wall -Wextra -Wpedantic -Werror
                -I${PROJECT_SOURCE_DIR} -I${PROJECT_SOURCE_DIR}/tests ${arg_INCLUYE} -O2 -static
                ${fuentes} -lole32 -o ${programa}
        DEPENDS ${fuentes} ${volumen}/salida_volumen.h ${volumen}/salida_windows.h
                ${volumen}/com_windows.h ${volumen}/politica_correcciones.h
                ${PROJECT_SOURCE_DIR}/tests/support/dobles_core_audio.h ${arg_DEPENDE}
        COMMENT "MinGW-w64: ${arg_COMENTARIO}"
        VERBATIM)
    add_custom_target(${objetivo} ALL DEPENDS ${programa})
endfunction()
