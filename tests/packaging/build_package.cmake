# cmake -DCPACK=<cpack> -DCONFIG=<CPackConfig.cmake> -DOUT=<dir> -P build_package.cmake
# Builds the packages afresh into OUT. cpack first brings the build tree up to date (its
# "preinstall" step, which builds everything unless CMAKE_SKIP_INSTALL_ALL_DEPENDENCY is on).
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
execute_process(
  COMMAND ${CPACK} --config ${CONFIG} -B ${OUT}
  RESULT_VARIABLE result
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cpack failed (${result}):\n${output}")
endif()
file(GLOB debs ${OUT}/*.deb)
if(NOT debs)
  message(FATAL_ERROR "cpack made no .deb:\n${output}")
endif()
message(STATUS "built: ${debs}")
