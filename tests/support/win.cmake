# Support library under Wine: helper program, the stand-in RICHED32.DLL and
# comctl32.dll (kept in a folder of their own so no other program picks them
# up), the version resource of the test program, and the debug viewer end to
# end.
add_executable(support_probe ${KORVIX_ROOT}/tests/support/support_probe.cpp)
target_include_directories(support_probe PRIVATE ${KORVIX_ROOT}/tests/support)
target_link_libraries(support_probe PRIVATE korvix_win)

add_library(fake_riched32 SHARED ${KORVIX_ROOT}/tests/support/fake_riched32.c)
set_target_properties(fake_riched32 PROPERTIES PREFIX "" OUTPUT_NAME RICHED32
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/support_fixture)
add_library(fake_comctl32 SHARED ${KORVIX_ROOT}/tests/support/fake_comctl32.c)
set_target_properties(fake_comctl32 PROPERTIES PREFIX "" OUTPUT_NAME comctl32
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/support_fixture)

if(TARGET win_support_tests)
  target_sources(win_support_tests PRIVATE ${KORVIX_ROOT}/tests/support/support_version.rc)
  add_dependencies(win_support_tests support_probe fake_riched32)
endif()

add_test(NAME support_kdebugview
  COMMAND bash ${KORVIX_ROOT}/tests/support/kdebugview_e2e.sh
          ${CMAKE_BINARY_DIR}/wine-run.sh $<TARGET_FILE:kdebugview> $<TARGET_FILE:support_probe>)
set_tests_properties(support_kdebugview PROPERTIES TIMEOUT 120)
