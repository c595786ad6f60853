list(APPEND KORVIX_PORTABLE_TESTS agent/Agent_test.cpp agent/StubAU_test.cpp
  agent/StubAUInstall_test.cpp)
list(APPEND KORVIX_WIN_TEST_GROUPS agent)
list(APPEND KORVIX_WIN_TESTS_agent agent/Agent_win_test.cpp agent/Process_win_test.cpp)
