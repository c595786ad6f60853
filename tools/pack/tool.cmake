# The authoring tool korvix-pack: natively (build/host/bin/korvix-pack) and as
# a Windows console program (build/win/bin/korvix-pack.exe).
add_executable(korvix-pack ${KORVIX_ROOT}/tools/pack/main.cpp)
if(WIN32)
  target_link_libraries(korvix-pack PRIVATE korvix_win)
else()
  target_link_libraries(korvix-pack PRIVATE korvix_portable)
endif()
