# find_package(Tiller): the imported targets Tiller::tiller (the library, with tiller.h) and
# Tiller::korvex (the reference host and its host-application API).
include(${CMAKE_CURRENT_LIST_DIR}/TillerTargets.cmake)
