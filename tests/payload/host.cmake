# End-to-end tests of the native korvix-pack.
add_test(NAME pack_tool
  COMMAND bash ${KORVIX_ROOT}/tests/payload/pack_tool_test.sh $<TARGET_FILE:korvix-pack> ${KORVIX_ROOT})
set_tests_properties(pack_tool PROPERTIES TIMEOUT 300)
