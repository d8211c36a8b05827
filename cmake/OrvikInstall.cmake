include(CMakePackageConfigHelpers)

install(DIRECTORY include/orvik DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/orvik)
install(FILES ${PROJECT_BINARY_DIR}/include/orvik/version.hpp DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/orvik)
install(TARGETS orvik
  EXPORT orvikTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT orvikTargets NAMESPACE orvik:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/orvik)

configure_package_config_file(cmake/orvikConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/orvikConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/orvik)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/orvikConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/orvikConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/orvikConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/orvik)

# pkg-config: the same library for builds that do not use CMake. A static
# orvik needs the C++ runtime, libm and the thread library from its
# consumer's link.
set(ORVIK_PC_PRIVATE_LIBS "-lm -pthread")
# The prefix is found from the .pc file's own place, so an install moved or
# made with `cmake --install --prefix` still describes itself.
file(RELATIVE_PATH ORVIK_PC_PREFIX_FROM_PCDIR /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" ORVIK_PC_PREFIX_FROM_PCDIR "${ORVIK_PC_PREFIX_FROM_PCDIR}")
configure_file(cmake/orvik.pc.in ${CMAKE_CURRENT_BINARY_DIR}/orvik.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/orvik.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

if(ORVIK_BUILD_EXAMPLES)
  install(TARGETS tarvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
