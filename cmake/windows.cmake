# Windows cross build: small, statically linked programs.

# Windows programs run under Wine through a wrapper that knows this tree's
# Wine prefix, so several build trees never share one.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/wine-run.sh CONTENT
"#!/bin/sh
export KORVIX_WINEPREFIX=\"\${KORVIX_WINEPREFIX:-${CMAKE_BINARY_DIR}/wineprefix}\"
exec \"${KORVIX_ROOT}/scripts/wine-run.sh\" \"$@\"
" @ONLY)
file(CHMOD ${CMAKE_BINARY_DIR}/wine-run.sh PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
set(KORVIX_SIZE_FLAGS -Os -ffunction-sections -fdata-sections)
add_compile_options(${KORVIX_SIZE_FLAGS})
add_compile_definitions(WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601 WINVER=0x0601)
add_link_options(-static -s -Wl,--gc-sections)

# zlib from the mingw-w64 package, linked statically.
find_library(ZLIB_STATIC NAMES libz.a z REQUIRED)
find_path(ZLIB_INCLUDE zlib.h REQUIRED)

add_library(korvix_win STATIC ${KORVIX_PORTABLE_SOURCES} ${KORVIX_WIN_SOURCES})
# Fat LTO objects: the stub links them with link-time optimisation, every
# other program links their ordinary code.
target_compile_options(korvix_win PRIVATE -flto -ffat-lto-objects)
# The resource editor of korvix-pack is never part of the stub; optimised at
# link time, the mingw-w64 compiler (GCC 12) stops with an internal error.
set_property(SOURCE ${KORVIX_ROOT}/src/payload/PeResources.cpp APPEND PROPERTY
  COMPILE_OPTIONS -fno-lto)
target_include_directories(korvix_win PUBLIC ${KORVIX_ROOT}/src ${ZLIB_INCLUDE})
target_link_libraries(korvix_win PUBLIC korvix_deflate ${ZLIB_STATIC}
  comctl32 gdi32 user32 advapi32 shell32 version ole32)

# The stub: a GUI program whose NT headers are moved to offset 256 after the
# link, leaving the payload-end pointer words at 248..255.
# Its resources (src/startup/Stub.rc): the icon "MainIcon", the version and
# the manifest; korvix-pack replaces icon and version in a setup's copy.
add_executable(stub WIN32 ${KORVIX_ROOT}/src/startup/Stub.cpp ${KORVIX_ROOT}/src/startup/Stub.rc)
set_property(SOURCE ${KORVIX_ROOT}/src/startup/Stub.rc APPEND PROPERTY OBJECT_DEPENDS
  ${KORVIX_ROOT}/src/startup/MainIcon.ico ${KORVIX_ROOT}/src/startup/Stub.manifest)
target_link_libraries(stub PRIVATE korvix_win)
# The default linker script keeps every function's unwind records and with
# them every function of each object the stub touches; this link drops unused
# functions together with their records (see cmake/gc_link.py), optimises the
# whole program at link time, and takes the C++ runtime of the win32 thread
# model (no POSIX thread library). The link map
# stays in the build tree for bench/stub_size.sh.
function(korvix_gc_link target)
  set_target_properties(${target} PROPERTIES
    CXX_LINKER_LAUNCHER "${Python3_EXECUTABLE};${KORVIX_ROOT}/cmake/gc_link.py;--driver=${TOOLCHAIN_PREFIX}-g++-win32")
  target_compile_options(${target} PRIVATE -flto)
  target_link_options(${target} PRIVATE -flto -flto-partition=one -Os
    "-Wl,-Map=${CMAKE_BINARY_DIR}/${target}.map")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${KORVIX_ROOT}/cmake/gc_link.py)
endfunction()
korvix_gc_link(stub)
add_custom_command(TARGET stub POST_BUILD
  COMMAND ${Python3_EXECUTABLE} ${KORVIX_ROOT}/cmake/pe_stub_header.py $<TARGET_FILE:stub>
  COMMENT "Moving the stub's PE header to offset 256")

# GoogleTest, cross-built from the Debian sources.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# One test program a group; each runs under Wine through the emulator wrapper.
foreach(group ${KORVIX_WIN_TEST_GROUPS})
  set(srcs ${KORVIX_WIN_TESTS_${group}})
  list(TRANSFORM srcs PREPEND ${KORVIX_ROOT}/tests/)
  add_executable(win_${group}_tests ${srcs})
  target_include_directories(win_${group}_tests PRIVATE ${KORVIX_ROOT}/tests)
  target_link_libraries(win_${group}_tests PRIVATE korvix_win gtest gtest_main)
  target_compile_definitions(win_${group}_tests PRIVATE
    KORVIX_BINARY_DIR="${CMAKE_BINARY_DIR}")
  add_test(NAME win_${group}_tests COMMAND win_${group}_tests --gtest_brief=1)
  set_tests_properties(win_${group}_tests PROPERTIES TIMEOUT 600)
endforeach()

include(tools/tools.cmake OPTIONAL)
# Further tests of each folder (programs, end-to-end runs): tests/<dir>/win.cmake
file(GLOB KORVIX_EXTRA_TESTS ${KORVIX_ROOT}/tests/*/win.cmake)
foreach(f ${KORVIX_EXTRA_TESTS})
  include(${f})
endforeach()
