include(CMakePackageConfigHelpers)

install(DIRECTORY include/orvik DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS orvik_exception orvik_utility orvik_maths orvik_vector orvik_kernels orvik_matrix orvik_times orvik
  EXPORT orvikTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT orvikTargets NAMESPACE orvik:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/orvik)

configure_package_config_file(cmake/orvikConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/orvikConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/orvik)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/orvikConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/orvikConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/orvikConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/orvik)
if(ORVIK_BUILD_EXAMPLES)
  install(TARGETS tarvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
