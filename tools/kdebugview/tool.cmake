# kdebugview.exe: the debug viewer that collects the stub's diagnostic lines
# (window class ".KDebug.", message ".K_DebugMsg."). Windows build only.
if(WIN32)
  add_executable(kdebugview ${KORVIX_ROOT}/tools/kdebugview/kdebugview.cpp)
  target_include_directories(kdebugview PRIVATE ${KORVIX_ROOT}/src)
  target_link_libraries(kdebugview PRIVATE user32)
endif()
