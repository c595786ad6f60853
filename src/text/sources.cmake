list(APPEND KORVIX_PORTABLE_SOURCES text/KSUB.cpp)
list(APPEND KORVIX_PORTABLE_SOURCES text/Common.cpp text/Dates.cpp text/Numbers.cpp text/Switches.cpp)
list(APPEND KORVIX_PORTABLE_SOURCES text/SLangId.cpp text/LangRes0.cpp)
