# Debian's hardening flags (dpkg-buildflags with hardening=+all: stack
# protector, fortified functions, read-only relocations bound at start-up)
# for every target of an optimised Linux build, so that the package and the
# tests run the same code. Debug builds stay without: fortification needs
# optimisation. COMSWEEP_HARDENING=OFF leaves them out.
option(COMSWEEP_HARDENING "Build with Debian's hardening flags where dpkg-buildflags exists" ON)
find_program(DPKG_BUILDFLAGS dpkg-buildflags)
if(COMSWEEP_HARDENING AND DPKG_BUILDFLAGS AND NOT WIN32 AND NOT COMSWEEP_BUILD_FUZZ
   AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
              ${DPKG_BUILDFLAGS} --get ${kind}
      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    # Only the hardening: the build type chooses optimisation and debug data.
    list(FILTER flags INCLUDE REGEX "^(-D_FORTIFY_SOURCE|-fstack-protector|-fstack-clash|-fcf-protection|-Wformat|-Werror=format|-Wl,-z,|-fPIE|-pie)")
    if(kind STREQUAL "LDFLAGS")
      add_link_options(${flags})
    else()
      add_compile_options(${flags})
    endif()
  endforeach()
endif()
