# Read by cpack before it makes a package (CPACK_PROJECT_CONFIG_FILE). Without
# dpkg-shlibdeps cpack would leave the library dependencies out of the .deb,
# which then installs cleanly and cannot start; without file it cannot tell
# which files to strip and look at.
if(CPACK_GENERATOR STREQUAL "DEB")
  foreach(tool dpkg-shlibdeps file)
    find_program(kestrova_found_${tool} ${tool})
    if(NOT kestrova_found_${tool})
      message(FATAL_ERROR "cpack: ${tool} is missing; the package's dependencies cannot be "
                          "computed without it (sudo apt-get install dpkg-dev file, or "
                          "scripts/bootstrap)")
    endif()
  endforeach()
endif()
