# Native build: the portable modules as a library, the native tools, and the
# portable unit tests, once plain and once under AddressSanitizer and
# UndefinedBehaviorSanitizer.
find_package(ZLIB REQUIRED)
find_package(GTest REQUIRED)

function(korvix_portable_lib name)
  add_library(${name} STATIC ${KORVIX_PORTABLE_SOURCES})
  target_include_directories(${name} PUBLIC ${KORVIX_ROOT}/src)
  target_link_libraries(${name} PUBLIC korvix_deflate ZLIB::ZLIB)
endfunction()

korvix_portable_lib(korvix_portable)

set(SAN_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g)
korvix_portable_lib(korvix_portable_san)
target_compile_options(korvix_portable_san PUBLIC ${SAN_FLAGS})
target_link_options(korvix_portable_san PUBLIC ${SAN_FLAGS})

if(KORVIX_PORTABLE_TESTS)
  foreach(variant plain san)
    if(variant STREQUAL plain)
      set(tname host_tests)
      set(lib korvix_portable)
    else()
      set(tname host_tests_san)
      set(lib korvix_portable_san)
    endif()
    add_executable(${tname} ${KORVIX_PORTABLE_TESTS})
    target_include_directories(${tname} PRIVATE ${KORVIX_ROOT}/tests)
    target_link_libraries(${tname} PRIVATE ${lib} GTest::gtest GTest::gtest_main)
    target_compile_definitions(${tname} PRIVATE
      KORVIX_SOURCE_DIR="${KORVIX_ROOT}" KORVIX_BINARY_DIR="${CMAKE_BINARY_DIR}")
    add_test(NAME ${tname} COMMAND ${tname} --gtest_brief=1)
    set_tests_properties(${tname} PROPERTIES ENVIRONMENT
      "KORVIX_BIN=${CMAKE_BINARY_DIR}/bin;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
  endforeach()
endif()

include(tools/tools.cmake OPTIONAL)
# Further tests of each folder (programs, end-to-end runs): tests/<dir>/host.cmake
file(GLOB KORVIX_EXTRA_TESTS ${KORVIX_ROOT}/tests/*/host.cmake)
foreach(f ${KORVIX_EXTRA_TESTS})
  include(${f})
endforeach()
include(fuzz/fuzz.cmake OPTIONAL)
