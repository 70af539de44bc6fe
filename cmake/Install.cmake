# Installation of the host build: the library, its public headers, tavikctl, the shipped unit
# profiles, a CMake package (find_package(Tavik2) -> Tavik2::tavik2), a pkg-config file and the
# .NET binding's source (share/tavik/dotnet/Tavik2.cs).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TAVIK_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/Tavik2")
set(TAVIK_INSTALL_PROFILEDIR "${CMAKE_INSTALL_DATADIR}/tavik/profiles")
set(TAVIK_INSTALL_DOTNETDIR "${CMAKE_INSTALL_DATADIR}/tavik/dotnet")

set_target_properties(tavik2 PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
target_include_directories(tavik2 INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
# tavikctl finds the library next to it in an installed tree.
file(RELATIVE_PATH bin_to_lib "/${CMAKE_INSTALL_BINDIR}" "/${CMAKE_INSTALL_LIBDIR}")
set_target_properties(tavikctl PROPERTIES INSTALL_RPATH "$ORIGIN/${bin_to_lib}")

install(TARGETS tavik2 EXPORT Tavik2Targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development)
install(TARGETS tavikctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/include/tavik2 DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  COMPONENT development FILES_MATCHING PATTERN "*.h")
install(DIRECTORY ${CMAKE_SOURCE_DIR}/sim/profiles/ DESTINATION ${TAVIK_INSTALL_PROFILEDIR}
  COMPONENT runtime FILES_MATCHING PATTERN "*.json")
install(FILES ${TAVIK_DOTNET_SOURCE} DESTINATION ${TAVIK_INSTALL_DOTNETDIR} COMPONENT development)

install(EXPORT Tavik2Targets NAMESPACE Tavik2:: DESTINATION ${TAVIK_INSTALL_CMAKEDIR} COMPONENT development)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/Tavik2Config.cmake.in
  ${CMAKE_BINARY_DIR}/generated/Tavik2Config.cmake INSTALL_DESTINATION ${TAVIK_INSTALL_CMAKEDIR}
  PATH_VARS TAVIK_INSTALL_PROFILEDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/generated/Tavik2ConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/generated/Tavik2Config.cmake ${CMAKE_BINARY_DIR}/generated/Tavik2ConfigVersion.cmake
  DESTINATION ${TAVIK_INSTALL_CMAKEDIR} COMPONENT development)

# pkg-config paths relative to the installed .pc file, so the tree can be moved or staged.
file(RELATIVE_PATH pc_to_prefix "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/tavik2.pc.in ${CMAKE_BINARY_DIR}/generated/tavik2.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/generated/tavik2.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT development)
