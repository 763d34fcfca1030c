# What `cmake --install` puts under the prefix for a host: the two libraries, their headers,
# the profiles (see TILLER_INSTALL_PROFILEDIR), a CMake package (Tiller::tiller,
# Tiller::korvex) and pkg-config files for tiller and korvex.
include(CMakePackageConfigHelpers)

set(TILLER_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tiller)
set(TILLER_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(TARGETS tiller korvex korvex_interface EXPORT TillerTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/tiller ${PROJECT_SOURCE_DIR}/refhost/include/korvex
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT TillerTargets NAMESPACE Tiller:: DESTINATION ${TILLER_CMAKE_DIR})

write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/TillerConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/TillerConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/TillerConfigVersion.cmake
        DESTINATION ${TILLER_CMAKE_DIR})

# The .pc files find the prefix from their own folder, so the package can be installed
# anywhere (cmake --install --prefix) and moved.
file(RELATIVE_PATH TILLER_PC_TO_PREFIX /prefix/${TILLER_PKGCONFIG_DIR} /prefix)
foreach(pc tiller korvex)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/${pc}.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc @ONLY)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc DESTINATION ${TILLER_PKGCONFIG_DIR})
endforeach()
