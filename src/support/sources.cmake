list(APPEND KORVIX_PORTABLE_SOURCES support/Utils.cpp)
list(APPEND KORVIX_PORTABLE_SOURCES support/KDebug.cpp support/Files.cpp support/ExecPipe.cpp support/Win64.cpp)
