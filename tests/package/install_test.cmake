# Installs the build into a fresh prefix and builds examples/minimal_host.cpp against it twice,
# with find_package(Tiller) and with pkg-config; both hosts run on the installed libraries and
# profiles alone. Needs BUILD_DIR, SOURCE_DIR, WORK_DIR, CXX and FLAGS (e.g. sanitizers).
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${ARGN}\n${out}")
    endif()
endfunction()

# The installed libraries are relinked with their install RUNPATH by the preinstall step, which
# `cmake --install` expects to have run.
run(${CMAKE_COMMAND} --build ${BUILD_DIR} --target preinstall)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples -B ${WORK_DIR}/cmake -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_CXX_COMPILER=${CXX} "-DCMAKE_CXX_FLAGS=${FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${FLAGS}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake)
run(${WORK_DIR}/cmake/minimal_host)

set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
execute_process(COMMAND pkg-config --cflags --libs tiller korvex OUTPUT_VARIABLE pc
                COMMAND_ERROR_IS_FATAL ANY)
separate_arguments(compile UNIX_COMMAND "${FLAGS} ${pc}")
run(${CXX} -std=c++17 ${SOURCE_DIR}/examples/minimal_host.cpp ${compile} -Wl,-rpath,${prefix}/lib
    -o ${WORK_DIR}/pkg-config-host)
run(${WORK_DIR}/pkg-config-host)
