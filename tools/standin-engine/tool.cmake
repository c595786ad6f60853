# standin_engine.exe: the stand-in setup engine packed into the demo setup
# (scripts/demo.sh) and the end-to-end test setups; it reports what it
# received and saw. Windows build only.
if(WIN32)
  add_executable(standin_engine WIN32 ${KORVIX_ROOT}/tools/standin-engine/StandInEngine.cpp)
  target_link_libraries(standin_engine PRIVATE korvix_win advapi32)
endif()
