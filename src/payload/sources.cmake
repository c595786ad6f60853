list(APPEND KORVIX_PORTABLE_SOURCES payload/UnPack.cpp payload/ZLibOpen.cpp payload/EntryName.cpp)
list(APPEND KORVIX_PORTABLE_SOURCES payload/PackX.cpp)
list(APPEND KORVIX_WIN_SOURCES payload/StubUtil.cpp payload/StubSetup.cpp)
