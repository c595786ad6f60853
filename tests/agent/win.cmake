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

# The agent end to end (update_e2e.py), packed by the host tree's
# korvix-pack: the probe cycle with a folder or a local web server as the
# source; updates by each shut-down method and with a product that refuses to
# close, the agent's restart, AutoInform.
get_filename_component(KORVIX_E2E_BUILD ${CMAKE_BINARY_DIR} DIRECTORY)
foreach(test agent_cycle_beside_setup agent_cycle_refusals_http
        agent_cycle_test_mode agent_cycle_controller e2e_update_methods e2e_update_restart e2e_inform)
  string(REGEX REPLACE "^(agent_cycle|e2e)_" "" case ${test})
  add_test(NAME ${test}
    COMMAND ${Python3_EXECUTABLE} ${KORVIX_ROOT}/tests/agent/update_e2e.py ${KORVIX_E2E_BUILD} ${case})
  set_tests_properties(${test} PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE LABELS e2e)
endforeach()
