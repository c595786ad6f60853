list(APPEND KORVIX_PORTABLE_TESTS ui/KProgBar_test.cpp ui/KMsgBoxText_test.cpp)
