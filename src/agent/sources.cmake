list(APPEND KORVIX_PORTABLE_SOURCES agent/StubGlob.cpp agent/ProcessViewer.cpp agent/StubAU.cpp
  agent/StubAUInstall.cpp)
list(APPEND KORVIX_WIN_SOURCES agent/Process.cpp agent/StubAUInform.cpp)
