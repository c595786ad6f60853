# End-to-end runs: setups packed by the host tree's korvix-pack (the sibling
# "host" of this binary folder) from this tree's stub and the stand-in engine,
# run under Wine; boxclick.exe answers their message boxes.
add_executable(boxclick ${KORVIX_ROOT}/tests/e2e/BoxClick.cpp)
target_include_directories(boxclick PRIVATE ${KORVIX_ROOT}/src)
get_filename_component(KORVIX_E2E_BUILD ${CMAKE_BINARY_DIR} DIRECTORY)
foreach(case plain twice space_question volumes
        bad_crc hostile links blank_temp entry_rules)
  add_test(NAME e2e_${case}
    COMMAND ${Python3_EXECUTABLE} ${KORVIX_ROOT}/tests/e2e/e2e.py ${KORVIX_E2E_BUILD} ${case})
  set_tests_properties(e2e_${case} PROPERTIES TIMEOUT 400 RUN_SERIAL TRUE LABELS e2e)
endforeach()
