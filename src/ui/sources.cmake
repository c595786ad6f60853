list(APPEND KORVIX_PORTABLE_SOURCES ui/KMsgBox.cpp ui/KProgBar.cpp)
