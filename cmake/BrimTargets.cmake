# The library goes into the multiarch folder (lib/x86_64-linux-gnu) where the
# toolchain has one, whatever the prefix: GNUInstallDirs would pick it only
# for a prefix of /usr, and the Debian packages are made from the default one.
if(NOT WIN32 AND CMAKE_LIBRARY_ARCHITECTURE)
  set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE} CACHE PATH "Object code libraries (LIBDIR)")
endif()
include(GNUInstallDirs)

# Adds sources to the library, keeping *_posix.cpp or *_win32.cpp files for the
# platform being built and the unsuffixed ones everywhere.
function(brim_library_sources)
  foreach(file IN LISTS ARGN)
    if(file MATCHES "_posix\\.cpp$" AND NOT BRIM_PLATFORM STREQUAL "posix")
      continue()
    endif()
    if(file MATCHES "_win32\\.cpp$" AND NOT BRIM_PLATFORM STREQUAL "win32")
      continue()
    endif()
    target_sources(brimcommon PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/${file})
    # Fuzz targets compile the library's sources into themselves.
    set_property(GLOBAL APPEND PROPERTY BRIM_LIBRARY_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/${file})
  endforeach()
endfunction()

# Warnings are shown in the project's own code; they are errors only in the
# project's builds (presets, CI), never in a user's build with another compiler.
option(BRIM_WERROR "Treat warnings as errors" OFF)
function(brim_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wno-unknown-pragmas)
  if(BRIM_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
