list(APPEND KORVIX_PORTABLE_SOURCES payload/UnPack.cpp payload/ZLibOpen.cpp)
list(APPEND KORVIX_PORTABLE_SOURCES payload/PackEncode.cpp payload/PackBuild.cpp payload/PackProject.cpp
     payload/PeResources.cpp)
list(APPEND KORVIX_WIN_SOURCES payload/StubUtil.cpp payload/StubSetup.cpp)
list(APPEND KORVIX_WIN_SOURCES payload/StubInternet.cpp)
