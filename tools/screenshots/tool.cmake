# ui_demo.exe: shows single windows of the program for the screenshots in
# docs/ (scripts/screenshots.sh). Windows build only.
if(WIN32)
  add_executable(ui_demo ${KORVIX_ROOT}/tools/screenshots/ScreenshotDemo.cpp)
  target_link_libraries(ui_demo PRIVATE korvix_win)
endif()
