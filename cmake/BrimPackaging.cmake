# cpack: on Linux Debian packages split as Debian does (the shared library,
# its -dev package with headers, CMake package and pkg-config file, and the
# brim program), optimised and stripped, with the debug information of each
# in a -dbgsym package (.ddeb); for Windows a zip of the DLL, its import
# library, the headers and brim.exe.
set(CPACK_PACKAGE_NAME brimcommon)
set(CPACK_PACKAGE_VENDOR "BrimCommon developers")
set(BRIM_PACKAGE_MAINTAINER "BrimCommon maintainers <maintainers@users.noreply.c-seed-91e8239a.example>"
  CACHE STRING "Maintainer of the packages (name <address>)")
set(CPACK_PACKAGE_CONTACT "${BRIM_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)

if(WIN32)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
  set(CPACK_GENERATOR ZIP)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
  set(CPACK_SYSTEM_NAME "windows-${CMAKE_SYSTEM_PROCESSOR}")
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  # The Debian revision; cmake/debian/changelog's first entry must name it.
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # brim needs the library of this very build: let dpkg-shlibdeps find it here.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
  set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
  set(CPACK_COMPONENT_DEV_DEPENDS runtime)
  set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)

  set(about_library
    "BrimCommon gives C++ desktop applications one exception type for every"
    "failure, carrying the text of a Windows error code, and the classes a"
    "host works with: wide strings and string lists, files with share modes,"
    "named mutexes, a daily log, text encoding detection and conversion, FTP"
    "and HTTP transfers with progress hooks, folder walks, a registry store"
    "and system and process information. The same calls behave the same on"
    "Windows and on Linux.")
  list(JOIN about_library "\n" about_library)

  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libbrimcommon${PROJECT_VERSION_MAJOR})
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
  # ldconfig runs through dpkg's trigger (cpack adds its own call as well).
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/runtime/triggers)
  set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "utility library for desktop applications\n${about_library}\n\n"
    "This package contains the shared library.")
  set(CPACK_DEBIAN_DEV_PACKAGE_NAME libbrimcommon-dev)
  set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEV_DESCRIPTION "utility library for desktop applications - development files\n"
    "${about_library}\n\n"
    "This package contains the headers, the CMake package (find_package(BrimCommon),\n"
    "target BrimCommon::brimcommon) and the pkg-config file (brimcommon) needed to\n"
    "build programs that use the library.")
  set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME brim)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_TOOLS_DESCRIPTION "command-line tool for the BrimCommon library\n"
    "brim runs the BrimCommon library's operations one command at a time: the\n"
    "texts of Windows error codes, encoding detection and decoding of text\n"
    "files, conversion to UTF-8 or UTF-16, folder walks, recursive deletion,\n"
    "HTTP and FTP transfers with progress, the registry store, and system and\n"
    "module information. Without a command it shows a short tour of the library.")
  foreach(part RUNTIME DEV TOOLS)
    string(JOIN "" CPACK_DEBIAN_${part}_DESCRIPTION ${CPACK_DEBIAN_${part}_DESCRIPTION})
  endforeach()
  # Each package's first line above is its summary. CPack would put a
  # package-wide summary (the project's description) before each of them
  # unless that summary is CPack's own default text.
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CMAKE_PROJECT_NAME} built using CMake")

  # Each package carries the copyright file and the changelog, as Debian
  # wants them in /usr/share/doc/<package>/.
  set(changelog ${PROJECT_SOURCE_DIR}/cmake/debian/changelog)
  file(STRINGS ${changelog} first_entry LIMIT_COUNT 1)
  set(debian_version ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
  if(NOT first_entry MATCHES "^brimcommon \\(${debian_version}\\) ")
    message(FATAL_ERROR "cmake/debian/changelog: the first entry is not for version ${debian_version}")
  endif()
  find_program(BRIM_GZIP gzip REQUIRED)
  execute_process(COMMAND ${BRIM_GZIP} -9nc ${changelog}
    OUTPUT_FILE ${CMAKE_BINARY_DIR}/changelog.Debian.gz COMMAND_ERROR_IS_FATAL ANY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${changelog})
  foreach(part RUNTIME DEV TOOLS)
    string(TOLOWER ${part} component)
    if(part STREQUAL "TOOLS" AND NOT TARGET brim)
      continue()
    endif()
    install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright ${CMAKE_BINARY_DIR}/changelog.Debian.gz
      DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${part}_PACKAGE_NAME} COMPONENT ${component})
  endforeach()
endif()
set(CPACK_COMPONENTS_ALL runtime dev tools)
include(CPack)
