// Stand-in handler of the inform tests' link scheme, registered in the test
// prefix: appends the link it was asked to open, and a line end, to a file.
//
//   ui_linkrecorder.exe <file> <link>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  std::FILE* f = std::fopen(argv[1], "ab");
  if (!f) return 1;
  std::fprintf(f, "%s\n", argv[2]);
  return std::fclose(f) == 0 ? 0 : 1;
}
