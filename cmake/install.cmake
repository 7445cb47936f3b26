# `cmake --install` on Linux: the static library with its public headers, a
# CMake package exporting mivo::mivo, a pkg-config file, and the two programs.
# (The Windows build ships as a zip of its own.)
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# With the interface targets the library links its dependencies through,
# where the build makes them.
set(MIVO_EXPORTED_TARGETS mivo)
foreach(target mivo_xxhash mivo_zlib mivo_png_backend)
  if(TARGET ${target})
    list(APPEND MIVO_EXPORTED_TARGETS ${target})
  endif()
endforeach()
install(TARGETS ${MIVO_EXPORTED_TARGETS} EXPORT mivoTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/mivo DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
foreach(program mivo_texdump mivo_packcheck)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

set(MIVO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/mivo)
install(EXPORT mivoTargets NAMESPACE mivo:: DESTINATION ${MIVO_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/mivoConfig.cmake.in
  ${PROJECT_BINARY_DIR}/mivoConfig.cmake INSTALL_DESTINATION ${MIVO_CMAKE_DIR})
# 0.x: a new minor version may break the API.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/mivoConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/mivoConfig.cmake ${PROJECT_BINARY_DIR}/mivoConfigVersion.cmake
  DESTINATION ${MIVO_CMAKE_DIR})

# The prefix is found from the file's own place, so the package can move.
file(RELATIVE_PATH MIVO_PC_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" MIVO_PC_PREFIX "${MIVO_PC_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/mivo.pc.in ${PROJECT_BINARY_DIR}/mivo.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/mivo.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
