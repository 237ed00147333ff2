# Run by cpack on each package it made (CPACK_POST_BUILD_SCRIPTS): a .deb whose
# Depends do not cover every library its programs link is removed, and cpack
# fails.
foreach(package ${CPACK_PACKAGE_FILES})
  if(NOT package MATCHES "\\.deb$")
    continue()
  endif()
  execute_process(COMMAND ${CPACK_KESTROVA_CHECK_PACKAGE} --deb ${package}
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    file(REMOVE ${package})
    message(FATAL_ERROR "cpack: ${package} lacks dependencies of its programs; removed")
  endif()
endforeach()
