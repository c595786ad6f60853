# The zlib-format decompressor of libdeflate, built from source with the
# build's own optimisation flags but without link-time optimisation, so that
# the stub's link does not re-optimise it for size.
set(dir ${KORVIX_ROOT}/third_party/libdeflate)
add_library(korvix_deflate STATIC
  ${dir}/deflate_decompress_one_loop.c ${dir}/lib/zlib_decompress.c ${dir}/lib/utils.c
  ${dir}/lib/x86/cpu_features.c)
target_include_directories(korvix_deflate PUBLIC ${dir})
# Not our code: its own warnings stay its own.
target_compile_options(korvix_deflate PRIVATE -w)
