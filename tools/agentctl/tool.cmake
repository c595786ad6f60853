# agentctl.exe: a controller of a running update agent (settings codes, probe,
# stop, notifications). Windows build only.
if(WIN32)
  add_executable(agentctl ${KORVIX_ROOT}/tools/agentctl/agentctl.cpp)
  target_link_libraries(agentctl PRIVATE user32)
endif()
