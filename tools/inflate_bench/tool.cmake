# Native benchmark program of the inflate wrapper (bench/inflate_bench.sh).
if(NOT WIN32)
  add_executable(inflate_bench ${KORVIX_ROOT}/tools/inflate_bench/inflate_bench.cpp)
  target_link_libraries(inflate_bench PRIVATE korvix_portable)
endif()
