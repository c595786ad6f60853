# Programs of the window tests: the key sender and the main-window program.
add_executable(ui_keysend ${KORVIX_ROOT}/tests/ui/KeySend.cpp)
add_executable(ui_mainwin_app ${KORVIX_ROOT}/tests/ui/MainWinApp.cpp)
target_link_libraries(ui_mainwin_app PRIVATE korvix_win)
if(TARGET win_ui_tests)
  add_dependencies(win_ui_tests ui_keysend ui_mainwin_app)
endif()
# Shows single windows for scripts/screenshots.sh.
add_executable(ui_demo ${KORVIX_ROOT}/tests/ui/ScreenshotDemo.cpp)
target_link_libraries(ui_demo PRIVATE korvix_win)
