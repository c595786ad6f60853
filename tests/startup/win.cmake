# Tests of the built Windows programs as files and as running programs.
add_test(NAME stub_layout
  COMMAND ${Python3_EXECUTABLE} ${KORVIX_ROOT}/tests/startup/stub_layout.py $<TARGET_FILE:stub>)
add_test(NAME stub_runs_under_wine COMMAND stub)
