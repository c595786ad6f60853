#include "http/InetHTTP.h"

namespace {
bool GAbort = false;
}

void HTTP_SetAbort(bool abort) {
  GAbort = abort;
}

bool HTTP_IsAborted() {
  return GAbort;
}
