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

# The .pc file finds the prefix from its own place (libdir may be lib/<triplet>).
file(RELATIVE_PATH BRIM_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" BRIM_PC_TO_PREFIX "${BRIM_PC_TO_PREFIX}")
configure_file(cmake/brimcommon.pc.in ${CMAKE_BINARY_DIR}/brimcommon.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/brimcommon.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# brim's manual, written from its own help when the build can run it, and its
# bash completion (which reads the same help when it runs).
if(TARGET brim AND NOT WIN32 AND NOT CMAKE_CROSSCOMPILING)
  find_program(BRIM_GZIP gzip REQUIRED)
  string(TIMESTAMP BRIM_MANUAL_DATE "%Y-%m-%d" UTC)
  set(BRIM_MANUAL ${CMAKE_BINARY_DIR}/man/brim.1)
  add_custom_command(OUTPUT ${BRIM_MANUAL}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND sh ${PROJECT_SOURCE_DIR}/cmake/brim-manpage.sh $<TARGET_FILE:brim> ${PROJECT_VERSION} ${BRIM_MANUAL_DATE}
      ${BRIM_MANUAL}
    COMMAND ${BRIM_GZIP} -9nf ${BRIM_MANUAL}
    DEPENDS brim ${PROJECT_SOURCE_DIR}/cmake/brim-manpage.sh
    COMMENT "Writing brim.1 from brim's help"
    VERBATIM)
  add_custom_target(brim_manual ALL DEPENDS ${BRIM_MANUAL}.gz)
  install(FILES ${BRIM_MANUAL}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
  install(FILES tools/brim/completion.bash RENAME brim
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions COMPONENT tools)
endif()
