list(APPEND KORVIX_PORTABLE_TESTS http/CommUtils_test.cpp)
