// Linked like the stub (unused functions and their unwind records dropped):
// exceptions must still cross frames, run destructors and reach the right
// handlers. Exit code 0 when every case behaves; otherwise the failed case.
#include <cstdio>
#include <cstring>
#include <string>

#include "payload/ZLibOpen.h"

namespace {

int Destroyed = 0;

struct Guard {
  ~Guard() { ++Destroyed; }
};

__attribute__((noinline)) void Fail(int code) {
  Guard g;
  ZLibCheck(code);
}

__attribute__((noinline)) int Middle(int code) {
  Guard g;
  std::string keep(100, 'x');  // heap-owning local unwound on the way
  Fail(code);
  return static_cast<int>(keep.size());
}

// Catches through the base class and passes the same object on.
__attribute__((noinline)) void Rethrow(int code) {
  try {
    Middle(code);
  } catch (const std::exception& e) {
    if (std::strcmp(e.what(), "data error") != 0) throw 99;
    throw;
  }
}

int Case(int n) {
  switch (n) {
    case 1:
      try {
        Rethrow(-3);
      } catch (const EZLibError& e) {
        return e.Code() == -3 && Destroyed == 2 ? 0 : 1;
      }
      return 1;
    case 2:
      try {
        InflateText(std::string("\x78\x9c\xff\xff\xff\xff", 6));
      } catch (const std::exception& e) {
        return dynamic_cast<const EZLibError*>(&e) ? 0 : 2;
      }
      return 2;
    case 3:
      try {
        Middle(-4);
      } catch (...) {
        return Destroyed == 4 ? 0 : 3;
      }
      return 3;
  }
  return 0;
}

}  // namespace

int main() {
  for (int n = 1; n <= 3; ++n) {
    if (int r = Case(n)) {
      std::printf("unwind case %d failed\n", n);
      return r;
    }
  }
  return 0;
}
