# Compiles tiller.h first and then every maths header, and each maths header before tiller.h,
# with every compiler in COMPILERS ('|'-separated; the first in C++17, the others in C++20).
# Each unit also calls libm's round and the library's, which must both stay reachable.
string(REPLACE "|" ";" COMPILERS "${COMPILERS}")
set(HEADERS cmath math.h random complex)
file(MAKE_DIRECTORY ${WORK_DIR})

set(CALLS "double Both(double x) { return round(x) + TillerRound(x); }\n")
set(units "first")
file(WRITE ${WORK_DIR}/first.cpp "#include \"tiller/tiller.h\"\n")
foreach(header ${HEADERS})
    file(APPEND ${WORK_DIR}/first.cpp "#include <${header}>\n")
    string(MAKE_C_IDENTIFIER ${header} unit)
    file(WRITE ${WORK_DIR}/${unit}.cpp "#include <${header}>\n#include \"tiller/tiller.h\"\n${CALLS}")
    list(APPEND units ${unit})
endforeach()
file(APPEND ${WORK_DIR}/first.cpp "${CALLS}")

set(standard 17)
set(failures 0)
foreach(compiler ${COMPILERS})
    foreach(unit ${units})
        execute_process(COMMAND ${compiler} -std=c++${standard} -Wall -Wextra -Werror -c
                                -I${INCLUDE_DIR} ${WORK_DIR}/${unit}.cpp -o ${WORK_DIR}/${unit}.o
                        RESULT_VARIABLE result ERROR_VARIABLE errors)
        if(NOT result EQUAL 0)
            message("${compiler} -std=c++${standard}, ${unit}.cpp:\n${errors}")
            math(EXPR failures "${failures} + 1")
        endif()
    endforeach()
    set(standard 20)
endforeach()
if(failures GREATER 0)
    message(FATAL_ERROR "${failures} include orders fail to compile")
endif()
