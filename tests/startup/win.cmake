# Tests of the built Windows programs as files and as running programs.
add_test(NAME stub_layout
  COMMAND ${Python3_EXECUTABLE} ${KORVIX_ROOT}/tests/startup/stub_layout.py $<TARGET_FILE:stub>)
add_test(NAME stub_runs_under_wine COMMAND stub)
# Exceptions across frames in a program linked the way the stub is.
add_executable(unwind_probe ${KORVIX_ROOT}/tests/startup/UnwindProbe.cpp)
target_link_libraries(unwind_probe PRIVATE korvix_win)
korvix_gc_link(unwind_probe)
add_test(NAME unwind_probe COMMAND unwind_probe)
# Only libraries that Windows always takes from the system folder are imported.
add_test(NAME stub_imports
  COMMAND ${Python3_EXECUTABLE} ${KORVIX_ROOT}/tests/startup/stub_imports.py $<TARGET_FILE:stub>)
