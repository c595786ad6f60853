# Sends keys to the message boxes from a process of its own.
add_executable(ui_keysend ${KORVIX_ROOT}/tests/ui/KeySend.cpp)
# Runs the stub's main window the way a setup does; the main-window tests
# append payloads to copies of it.
add_executable(ui_mainwin_app ${KORVIX_ROOT}/tests/ui/MainWinApp.cpp)
target_link_libraries(ui_mainwin_app PRIVATE korvix_win)
if(TARGET win_ui_tests)
  add_dependencies(win_ui_tests ui_keysend ui_mainwin_app support_probe fake_comctl32)
endif()
# The inform dialog's link goes to this stand-in handler of a test scheme.
add_executable(ui_linkrecorder ${KORVIX_ROOT}/tests/ui/LinkRecorder.cpp)
if(TARGET win_inform_tests)
  add_dependencies(win_inform_tests ui_linkrecorder)
endif()
if(TARGET win_agentctl_tests)
  add_dependencies(win_agentctl_tests agentctl)
endif()
