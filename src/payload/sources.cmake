list(APPEND KORVIX_PORTABLE_SOURCES payload/UnPack.cpp payload/ZLibOpen.cpp)
list(APPEND KORVIX_PORTABLE_SOURCES payload/PackX.cpp)
