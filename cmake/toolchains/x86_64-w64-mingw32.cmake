# Cross-compiles the 64-bit Windows executable, for systems that run no
# 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOWER_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
