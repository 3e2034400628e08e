# Holds the house to its plan: every include of one room's header by another
# room passes through a link of the including room's library, lands on a
# header (never on a source file), and not on one that the other room keeps to
# itself (its opening lines say "Within the <room> room only."). Links run
# downwards alone: a room links only rooms named before it.
#
#   cmake -DRAIZ=<source tree> -DARCOS=<file> -P comprobar_estructura.cmake
#
# ARCOS holds one line a room, ground floor first: the room, then the rooms
# its library links.
cmake_minimum_required(VERSION 3.25)
file(STRINGS "${ARCOS}" lineas)
set(salas "")
set(faltas "")
foreach(linea IN LISTS lineas)
    string(REPLACE " " ";" partes "${linea}")
    list(POP_FRONT partes sala)
    foreach(otra IN LISTS partes)
        if(NOT otra IN_LIST salas)
            list(APPEND faltas "${sala} enlaza ${otra}, que no está por debajo")
        endif()
    endforeach()
    list(APPEND salas ${sala})
    set(usa_${sala} ${partes})
endforeach()

set(puertas 0)
foreach(sala IN LISTS salas)
    file(GLOB_RECURSE fuentes LIST_DIRECTORIES false RELATIVE "${RAIZ}" "${RAIZ}/${sala}/*.h"
         "${RAIZ}/${sala}/*.cpp")
    foreach(fuente IN LISTS fuentes)
        file(STRINGS "${RAIZ}/${fuente}" inclusiones REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
        foreach(inclusion IN LISTS inclusiones)
            string(REGEX MATCH "\"([^\"]+)\"" _ "${inclusion}")
            set(ruta "${CMAKE_MATCH_1}")
            string(REGEX REPLACE "/.*" "" otra "${ruta}")
            if(otra STREQUAL sala OR NOT otra IN_LIST salas)
                continue()
            endif()
            math(EXPR puertas "${puertas} + 1")
            if(NOT otra IN_LIST usa_${sala})
                list(APPEND faltas "${fuente}: incluye ${ruta}, pero ${sala} no enlaza ${otra}")
            elseif(NOT ruta MATCHES "\\.h$")
                list(APPEND faltas "${fuente}: incluye ${ruta}, que no es una cabecera")
            elseif(EXISTS "${RAIZ}/${ruta}")
                file(STRINGS "${RAIZ}/${ruta}" privada LIMIT_COUNT 10
                     REGEX "Within the ${otra} room only")
                if(privada)
                    list(APPEND faltas
                         "${fuente}: incluye ${ruta}, una cabecera que ${otra} guarda para sí")
                endif()
            endif()
        endforeach()
    endforeach()
endforeach()

list(LENGTH salas numeroSalas)
list(LENGTH faltas numeroFaltas)
if(numeroFaltas GREATER 0)
    list(JOIN faltas "\n  " texto)
    message(FATAL_ERROR "${numeroFaltas} faltas:\n  ${texto}")
endif()
message(STATUS "${numeroSalas} salas, ${puertas} inclusiones entre ellas, ninguna falta")
