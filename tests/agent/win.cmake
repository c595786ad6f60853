# The agent tests need the stand-in product and our tasklist; the process
# tests run again in a prefix set to older Windows versions.
if(TARGET win_agent_tests)
  add_dependencies(win_agent_tests standin_product fake_tasklist)
  if(TARGET agentctl)
    add_dependencies(win_agent_tests agentctl)
  endif()
endif()
add_test(NAME agent_os_versions
  COMMAND bash ${KORVIX_ROOT}/tests/agent/os_versions.sh
          ${CMAKE_BINARY_DIR} $<TARGET_FILE:win_agent_tests>)
set_tests_properties(agent_os_versions PROPERTIES TIMEOUT 600)

# The update cycle end to end (cycle_e2e.py): the agent packed by the host
# tree's korvix-pack, a folder or a local web server as the source.
get_filename_component(KORVIX_CYCLE_BUILD ${CMAKE_BINARY_DIR} DIRECTORY)
foreach(case beside_setup refusals_http foreign_update test_mode controller)
  add_test(NAME agent_cycle_${case}
    COMMAND ${Python3_EXECUTABLE} ${KORVIX_ROOT}/tests/agent/cycle_e2e.py ${KORVIX_CYCLE_BUILD} ${case})
  set_tests_properties(agent_cycle_${case} PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE LABELS e2e)
endforeach()

# Updates end to end: the installation by each shut-down method, a product
# that refuses to close, the agent's restart (the update source a folder, or
# a local HTTP server), AutoInform.
get_filename_component(KORVIX_UPDATE_E2E_BUILD ${CMAKE_BINARY_DIR} DIRECTORY)
foreach(case update_methods update_refused update_restart update_http inform)
  add_test(NAME e2e_${case}
    COMMAND ${Python3_EXECUTABLE} ${KORVIX_ROOT}/tests/agent/update_e2e.py
            ${KORVIX_UPDATE_E2E_BUILD} ${case})
  set_tests_properties(e2e_${case} PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE LABELS e2e)
endforeach()
