# bench/download_bench.sh: one download by HTTP_DownloadFile, timed.
if(WIN32)
  add_executable(download_bench ${KORVIX_ROOT}/tools/download_bench/download_bench.cpp)
  target_link_libraries(download_bench PRIVATE korvix_win)
endif()
