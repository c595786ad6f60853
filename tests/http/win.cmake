# Downloads under Wine from local servers that tests/http/servers.py starts
# and stops around the test program; the end-to-end internet setups.
add_executable(win_http_tests ${KORVIX_ROOT}/tests/http/InetHTTP_win_test.cpp)
target_include_directories(win_http_tests PRIVATE ${KORVIX_ROOT}/tests)
target_link_libraries(win_http_tests PRIVATE korvix_win gtest gtest_main)
add_test(NAME win_http_tests
  COMMAND ${Python3_EXECUTABLE} ${KORVIX_ROOT}/tests/http/servers.py ${CMAKE_BINARY_DIR}/http_tests
          ${CMAKE_BINARY_DIR}/wine-run.sh $<TARGET_FILE:win_http_tests> --gtest_brief=1)
set_tests_properties(win_http_tests PROPERTIES TIMEOUT 600)

get_filename_component(KORVIX_HTTP_E2E_BUILD ${CMAKE_BINARY_DIR} DIRECTORY)
foreach(case internet_download internet_local)
  add_test(NAME e2e_${case}
    COMMAND ${Python3_EXECUTABLE} ${KORVIX_ROOT}/tests/e2e/internet.py ${KORVIX_HTTP_E2E_BUILD} ${case})
  set_tests_properties(e2e_${case} PROPERTIES TIMEOUT 400 RUN_SERIAL TRUE LABELS e2e)
endforeach()
