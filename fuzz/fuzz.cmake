# Fuzz target of the container reader (libFuzzer), built with clang when it is
# installed. The reader's own modules are compiled with coverage and the
# sanitizers; the rest comes from the plain portable library.
find_program(KORVIX_CLANGXX NAMES clang++ clang++-14)
if(NOT KORVIX_CLANGXX)
  message(STATUS "clang++ not found: the container fuzz target is not built")
  return()
endif()

set(fuzz_bin ${CMAKE_BINARY_DIR}/bin/container_fuzz)
set(fuzz_srcs
  ${KORVIX_ROOT}/fuzz/container_fuzz.cpp
  ${KORVIX_ROOT}/src/payload/UnPack.cpp
  ${KORVIX_ROOT}/src/payload/ZLibOpen.cpp
  ${KORVIX_ROOT}/src/support/Utils.cpp)
add_custom_command(OUTPUT ${fuzz_bin}
  COMMAND ${KORVIX_CLANGXX} -std=c++17 -g -O1 -fno-omit-frame-pointer
          -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
          -I${KORVIX_ROOT}/src -I${KORVIX_ROOT}/third_party/libdeflate ${fuzz_srcs}
          $<TARGET_FILE:korvix_portable> $<TARGET_FILE:korvix_deflate> -lz -lpthread
          -o ${fuzz_bin}
  DEPENDS ${fuzz_srcs} korvix_portable korvix_deflate
          ${KORVIX_ROOT}/src/payload/UnPack.h ${KORVIX_ROOT}/src/payload/ZLibOpen.h
          ${KORVIX_ROOT}/src/support/Utils.h
  COMMENT "Building the container fuzz target with clang"
  VERBATIM)

set(fuzz_seeds ${CMAKE_BINARY_DIR}/fuzz/seeds)
add_custom_command(OUTPUT ${fuzz_seeds}/plain
  COMMAND ${Python3_EXECUTABLE} ${KORVIX_ROOT}/fuzz/make_seeds.py ${fuzz_seeds}
  DEPENDS ${KORVIX_ROOT}/fuzz/make_seeds.py ${KORVIX_ROOT}/tests/e2e/container.py
  COMMENT "Writing the fuzz seed corpus"
  VERBATIM)
add_custom_target(container_fuzz ALL DEPENDS ${fuzz_bin} ${fuzz_seeds}/plain)

add_test(NAME fuzz_container
  COMMAND ${KORVIX_ROOT}/fuzz/run.sh --runs 20000)
set_tests_properties(fuzz_container PROPERTIES
  ENVIRONMENT "KORVIX_FUZZ_BIN=${fuzz_bin};KORVIX_FUZZ_SEEDS=${fuzz_seeds}"
  TIMEOUT 600)
