list(APPEND KORVIX_PORTABLE_TESTS text/KSUB_test.cpp)
list(APPEND KORVIX_PORTABLE_TESTS text/Common_test.cpp)
