# Shared by the MinGW-w64 toolchain files, which set TOWER_MINGW_PREFIX and
# CMAKE_SYSTEM_PROCESSOR first. Debian's win32-threads flavour, so no
# winpthread DLL comes along.
set(CMAKE_SYSTEM_NAME Windows)

find_program(CMAKE_C_COMPILER NAMES ${TOWER_MINGW_PREFIX}-gcc-win32 ${TOWER_MINGW_PREFIX}-gcc)
find_program(CMAKE_CXX_COMPILER NAMES ${TOWER_MINGW_PREFIX}-g++-win32 ${TOWER_MINGW_PREFIX}-g++)
find_program(CMAKE_RC_COMPILER NAMES ${TOWER_MINGW_PREFIX}-windres)
find_program(CMAKE_STRIP NAMES ${TOWER_MINGW_PREFIX}-strip)
find_program(CMAKE_OBJDUMP NAMES ${TOWER_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${TOWER_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C++ runtime goes inside the executable, so it imports system DLLs only
# and runs from a bare folder on any Windows.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
