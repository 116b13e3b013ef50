# Debian's build flags, as dpkg-buildflags gives them with every hardening feature on
# (DEB_BUILD_MAINT_OPTIONS=hardening=+all): _FORTIFY_SOURCE, the stack protector, format
# checks, RELRO and BIND_NOW. The build type keeps choosing -O and -g. On by default in
# optimized, unsanitized builds where dpkg-buildflags exists, which is how the packages are
# built; _FORTIFY_SOURCE needs optimization, so Debug trees leave the flags out.
find_program(DPKG_BUILDFLAGS_EXECUTABLE dpkg-buildflags)
set(ralvek_debian_flags_default OFF)
if(DPKG_BUILDFLAGS_EXECUTABLE AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug" AND NOT RALVEK_SANITIZE)
  set(ralvek_debian_flags_default ON)
endif()
option(RALVEK_DEBIAN_BUILDFLAGS "Compile and link with Debian's hardening build flags"
       ${ralvek_debian_flags_default})

if(RALVEK_DEBIAN_BUILDFLAGS)
  if(NOT DPKG_BUILDFLAGS_EXECUTABLE)
    message(FATAL_ERROR "RALVEK_DEBIAN_BUILDFLAGS needs dpkg-buildflags (package dpkg-dev)")
  endif()
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
              ${DPKG_BUILDFLAGS_EXECUTABLE} --get ${kind}
      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    list(FILTER flags EXCLUDE REGEX "^-(O.*|g)$")
    set(ralvek_debian_${kind} ${flags})
  endforeach()
  add_compile_options(${ralvek_debian_CPPFLAGS} ${ralvek_debian_CXXFLAGS})
  add_link_options(${ralvek_debian_LDFLAGS})
  message(STATUS "Debian build flags: ${ralvek_debian_CPPFLAGS} ${ralvek_debian_CXXFLAGS} ${ralvek_debian_LDFLAGS}")
endif()
