/* A stand-in RICHED32.DLL that a test puts next to a program: it exports a
   marker function the system library does not have. */
__declspec(dllexport) int KorvixFakeMarker(void) {
  return 4711;
}
