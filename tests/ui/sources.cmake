list(APPEND KORVIX_PORTABLE_TESTS ui/KProgBar_test.cpp ui/KMsgBoxText_test.cpp)
list(APPEND KORVIX_WIN_TEST_GROUPS ui)
list(APPEND KORVIX_WIN_TESTS_ui ui/KMsgBox_win_test.cpp ui/StubWin_win_test.cpp)
