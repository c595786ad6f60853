list(APPEND KORVIX_PORTABLE_TESTS text/KSUB_test.cpp)
list(APPEND KORVIX_PORTABLE_TESTS text/Common_test.cpp)
list(APPEND KORVIX_WIN_TEST_GROUPS text)
list(APPEND KORVIX_WIN_TESTS_text text/Common_win_test.cpp)
