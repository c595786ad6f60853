# agentctl.exe: a controller of a running update agent (registration,
# notifications, settings, probes, quit). Windows build only.
if(WIN32)
  add_executable(agentctl ${KORVIX_ROOT}/tools/agentctl/agentctl.cpp)
  target_include_directories(agentctl PRIVATE ${KORVIX_ROOT}/src)
  target_link_libraries(agentctl PRIVATE user32)
endif()
