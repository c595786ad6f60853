# End-to-end runs: setups built with the host tree's korvix-pack from this
# tree's stub, started under Wine, answered by boxclick.exe, with the
# stand-in engine reporting what it received. The host tree is the sibling
# "host" of this binary folder.
get_filename_component(KORVIX_E2E_BUILD ${CMAKE_BINARY_DIR} DIRECTORY)
foreach(case plain keep_atom twice hidden space_question big_file agent_copy
        volumes bad_crc span hostile)
  add_test(NAME e2e_${case}
    COMMAND ${Python3_EXECUTABLE} ${KORVIX_ROOT}/tests/e2e/e2e.py ${KORVIX_E2E_BUILD} ${case})
  set_tests_properties(e2e_${case} PROPERTIES TIMEOUT 400 RUN_SERIAL TRUE
    LABELS e2e)
endforeach()
