# Native ceiling of the stub's extraction (bench/extract_bench.sh): walks a
# built setup's records, inflates them and writes the files.
if(NOT WIN32)
  add_executable(extract_bench ${KORVIX_ROOT}/tools/extract_bench/extract_bench.cpp)
  target_link_libraries(extract_bench PRIVATE korvix_portable)
endif()
