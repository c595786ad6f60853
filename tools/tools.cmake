# Each program under tools/ describes its own targets in tools/<name>/tool.cmake
# (checking WIN32 for the build it belongs to).
file(GLOB KORVIX_TOOL_FILES ${KORVIX_ROOT}/tools/*/tool.cmake)
foreach(f ${KORVIX_TOOL_FILES})
  include(${f})
endforeach()
