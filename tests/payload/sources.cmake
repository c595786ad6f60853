list(APPEND KORVIX_PORTABLE_TESTS payload/UnPack_test.cpp payload/ZLibOpen_test.cpp)
list(APPEND KORVIX_PORTABLE_TESTS payload/PackX_test.cpp)
