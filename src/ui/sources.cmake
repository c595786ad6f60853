list(APPEND KORVIX_PORTABLE_SOURCES ui/KMsgBox.cpp ui/KProgBar.cpp)
list(APPEND KORVIX_WIN_SOURCES ui/StubInformDlg.cpp ui/ModalLoop.cpp)
