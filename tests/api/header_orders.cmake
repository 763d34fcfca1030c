# Compiles tiller.h before all the maths headers, and after each one, with every compiler in
# COMPILERS ('|'-separated; the first in C++17, the others in C++20); each unit calls both
# libm's round and the library's.
string(REPLACE "|" ";" COMPILERS "${COMPILERS}")
set(calls "double Both(double x) { return round(x) + TillerRound(x); }\n")
set(first "#include \"tiller/tiller.h\"\n")
foreach(header cmath math.h random complex)
    string(APPEND first "#include <${header}>\n")
    string(MAKE_C_IDENTIFIER ${header} unit)
    file(WRITE ${WORK_DIR}/${unit}.cpp "#include <${header}>\n#include \"tiller/tiller.h\"\n${calls}")
    list(APPEND units ${unit})
endforeach()
file(WRITE ${WORK_DIR}/first.cpp "${first}${calls}")
set(standard 17)
foreach(compiler ${COMPILERS})
    foreach(unit first ${units})
        execute_process(COMMAND ${compiler} -std=c++${standard} -Wall -Wextra -Werror -c -I${INCLUDE_DIR}
                                ${WORK_DIR}/${unit}.cpp -o ${WORK_DIR}/${unit}.o
                        RESULT_VARIABLE result ERROR_VARIABLE errors)
        if(NOT result EQUAL 0)
            message(SEND_ERROR "${compiler} -std=c++${standard}, ${unit}.cpp:\n${errors}")
        endif()
    endforeach()
    set(standard 20)
endforeach()
