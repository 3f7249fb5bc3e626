# Cross-compiles the 32-bit Windows executable, the one that ships.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOWER_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
