# Tests of the built Windows programs as files and as running programs.
add_test(NAME stub_runs_under_wine COMMAND stub)
# Exceptions crossing the stub's frames: its damaged-record run (e2e_hostile).
# Only libraries that Windows always takes from the system folder are imported.
add_test(NAME stub_imports
  COMMAND ${Python3_EXECUTABLE} ${KORVIX_ROOT}/tests/startup/stub_pe.py $<TARGET_FILE:stub>)
