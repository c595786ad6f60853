list(APPEND KORVIX_PORTABLE_TESTS payload/UnPack_test.cpp payload/ZLibOpen_test.cpp
  payload/EntryName_test.cpp)
list(APPEND KORVIX_PORTABLE_TESTS payload/PackX_test.cpp payload/PeResources_test.cpp)
if(NOT payload IN_LIST KORVIX_WIN_TEST_GROUPS)
  list(APPEND KORVIX_WIN_TEST_GROUPS payload)
endif()
list(APPEND KORVIX_WIN_TESTS_payload payload/UnPack_win_test.cpp)
list(APPEND KORVIX_WIN_TEST_GROUPS payload_setup)
list(APPEND KORVIX_WIN_TESTS_payload_setup payload/StubSetup_test.cpp payload/StubExtract_test.cpp)
