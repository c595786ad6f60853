list(APPEND KORVIX_PORTABLE_TESTS support/Utils_test.cpp)
list(APPEND KORVIX_PORTABLE_TESTS support/KDebug_test.cpp support/Files_test.cpp support/Win64_test.cpp)
list(APPEND KORVIX_WIN_TEST_GROUPS support)
list(APPEND KORVIX_WIN_TESTS_support support/Files_test.cpp
  support/Win64_win_test.cpp support/ExecPipe_win_test.cpp support/Files_win_test.cpp)
