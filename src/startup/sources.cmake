list(APPEND KORVIX_WIN_SOURCES startup/StubWin.cpp)
