# Installs the build into a fresh prefix, then builds examples/minimal_host.cpp against the
# installed package twice, with find_package(Tiller) and with pkg-config, and runs both: each
# must find the installed libraries and the installed profiles. Needs BUILD_DIR, SOURCE_DIR,
# WORK_DIR, CXX and FLAGS (extra compile and link flags, e.g. sanitizers).
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT result EQUAL 0)
        string(REPLACE ";" " " command "${ARGN}")
        message(FATAL_ERROR "${command}\n${out}")
    endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(installed include/tiller/tiller.h include/tiller/host/korvex.h include/korvex/session.h
        GCtrlProfiles/UniversalCtrl.qvw lib/cmake/Tiller/TillerConfig.cmake
        lib/cmake/Tiller/TillerConfigVersion.cmake lib/pkgconfig/tiller.pc)
    if(NOT EXISTS ${prefix}/${installed})
        message(FATAL_ERROR "not installed: ${installed}")
    endif()
endforeach()

# The build tree's profiles are out of reach: only the installed ones can be found.
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples -B ${WORK_DIR}/with-cmake -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_CXX_COMPILER=${CXX} "-DCMAKE_CXX_FLAGS=${FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${FLAGS}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/with-cmake)
run(${WORK_DIR}/with-cmake/minimal_host)

set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
execute_process(COMMAND pkg-config --cflags --libs tiller korvex OUTPUT_VARIABLE pc
                RESULT_VARIABLE result OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "pkg-config does not know tiller and korvex")
endif()
separate_arguments(pc UNIX_COMMAND "${pc}")
separate_arguments(flags UNIX_COMMAND "${FLAGS}")
run(${CXX} -std=c++17 ${flags} ${SOURCE_DIR}/examples/minimal_host.cpp ${pc}
    -Wl,-rpath,${prefix}/lib -o ${WORK_DIR}/pkg-config-host)
run(${WORK_DIR}/pkg-config-host)
