list(APPEND KORVIX_PORTABLE_TESTS agent/Agent_test.cpp)
