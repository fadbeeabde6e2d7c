include(CMakePackageConfigHelpers)

install(TARGETS brimcommon EXPORT BrimCommonTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(DIRECTORY include/brim DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)

set(BRIM_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/BrimCommon)
install(EXPORT BrimCommonTargets NAMESPACE BrimCommon:: DESTINATION ${BRIM_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(cmake/BrimCommonConfig.cmake.in
  ${CMAKE_BINARY_DIR}/BrimCommonConfig.cmake INSTALL_DESTINATION ${BRIM_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/BrimCommonConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/BrimCommonConfig.cmake ${CMAKE_BINARY_DIR}/BrimCommonConfigVersion.cmake
  DESTINATION ${BRIM_CMAKE_DIR} COMPONENT dev)

configure_file(cmake/brimcommon.pc.in ${CMAKE_BINARY_DIR}/brimcommon.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/brimcommon.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
