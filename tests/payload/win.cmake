# korvix-pack.exe under Wine with the real stub.
add_test(NAME pack_win_tool
  COMMAND bash ${KORVIX_ROOT}/tests/payload/pack_win_test.sh ${CMAKE_BINARY_DIR}/wine-run.sh
          $<TARGET_FILE:korvix-pack> $<TARGET_FILE:stub> $<TARGET_FILE:standin_engine>
          ${KORVIX_ROOT}/src/startup/MainIcon.ico)
set_tests_properties(pack_win_tool PROPERTIES TIMEOUT 600)
# The stub's resources and a setup's icon and version, read back through the
# Windows API; the program carries the stub's resource script.
add_executable(win_stub_resources_tests ${KORVIX_ROOT}/tests/payload/StubResources_win_test.cpp
  ${KORVIX_ROOT}/src/startup/Stub.rc)
target_include_directories(win_stub_resources_tests PRIVATE ${KORVIX_ROOT}/tests)
target_link_libraries(win_stub_resources_tests PRIVATE korvix_win gtest gtest_main)
target_compile_definitions(win_stub_resources_tests PRIVATE
  KORVIX_BINARY_DIR="${CMAKE_BINARY_DIR}" KORVIX_ROOT_DIR="${KORVIX_ROOT}")
add_dependencies(win_stub_resources_tests stub)
add_test(NAME win_stub_resources_tests COMMAND win_stub_resources_tests --gtest_brief=1)
set_tests_properties(win_stub_resources_tests PROPERTIES TIMEOUT 300)
add_test(NAME stub_version_win10
  COMMAND bash ${KORVIX_ROOT}/tests/payload/stub_version_test.sh
          ${CMAKE_BINARY_DIR} $<TARGET_FILE:win_stub_resources_tests>)
set_tests_properties(stub_version_win10 PROPERTIES TIMEOUT 600)
