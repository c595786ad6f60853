/*
 * libdeflate's decompressor with one decode loop: the loop built for BMI2
 * (a second copy, chosen at run time) is left out to keep the programs
 * small. Same source, unchanged; only its choice is made here.
 */
#include "lib/x86/cpu_features.h"
#undef HAVE_BMI2_INTRIN
#define HAVE_BMI2_INTRIN 0
#include "lib/deflate_decompress.c"
