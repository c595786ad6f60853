# korvix-pack.exe under Wine with the real stub.
add_test(NAME pack_win_tool
  COMMAND bash ${KORVIX_ROOT}/tests/payload/pack_win_test.sh ${CMAKE_BINARY_DIR}/wine-run.sh
          $<TARGET_FILE:korvix-pack> $<TARGET_FILE:stub>)
set_tests_properties(pack_win_tool PROPERTIES TIMEOUT 600)
