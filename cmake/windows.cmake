# The Windows executable: tower.exe, a GUI program over the system's own
# OpenGL and GLU, 32-bit (the one that ships) or 64-bit. The renderer and shell
# libraries build it unchanged.

set(TOWER_WINDOWS_DIR ${CMAKE_CURRENT_LIST_DIR}/windows)

# Windows refuses to start a program whose manifest names another
# architecture than its own ("side-by-side configuration is incorrect"), so
# each build writes its own.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(TOWER_MANIFEST_ARCH x86)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(ARM64|arm64|aarch64)$")
  set(TOWER_MANIFEST_ARCH arm64)
else()
  set(TOWER_MANIFEST_ARCH amd64)
endif()
set(TOWER_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/tower.manifest)
configure_file(${TOWER_WINDOWS_DIR}/tower.manifest.in ${TOWER_MANIFEST} @ONLY)

# The resource script goes beside the icon and the manifest it names, which
# the resource compiler finds by the script's own folder.
enable_language(RC)
set(TOWER_RC ${CMAKE_CURRENT_BINARY_DIR}/tower.rc)
configure_file(${TOWER_WINDOWS_DIR}/tower.rc ${TOWER_RC} COPYONLY)
configure_file(${PROJECT_SOURCE_DIR}/icon/tower.ico ${CMAKE_CURRENT_BINARY_DIR}/tower.ico COPYONLY)
set_source_files_properties(${TOWER_RC} PROPERTIES
  OBJECT_DEPENDS "${TOWER_MANIFEST};${CMAKE_CURRENT_BINARY_DIR}/tower.ico")
if(MSVC)
  # The MSVC linker writes its own manifest; a listed .manifest source is
  # merged into it, where a second RT_MANIFEST resource would clash. The
  # script then brings the icon alone.
  set(tower_resources ${TOWER_RC} ${TOWER_MANIFEST})
  set_source_files_properties(${TOWER_RC} PROPERTIES COMPILE_DEFINITIONS TOWER_RC_NO_MANIFEST)
else()
  set(tower_resources ${TOWER_RC})
endif()

# WinMain lives in the shell library; the executable adds only its resources.
add_executable(tower WIN32 ${tower_resources})
set_target_properties(tower PROPERTIES LINKER_LANGUAGE CXX)
target_link_libraries(tower PRIVATE tower_shell tower_render opengl32 glu32 gdi32 user32)

if(MSVC)
  foreach(lib tower_render tower_shell)
    target_compile_options(${lib} PRIVATE /GR-)
  endforeach()
  # The static C runtime, as MinGW's -static-libgcc: no VC++ redistributable
  # to install beside the executable.
  set_target_properties(tower tower_render tower_shell PROPERTIES
    MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
elseif(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  # The program throws nothing and asks no types, so neither machinery is
  # worth its bytes; sections let the linker drop what WinMain never reaches.
  foreach(lib tower_render tower_shell)
    target_compile_options(${lib} PRIVATE -fno-exceptions -fno-rtti
                                          -ffunction-sections -fdata-sections)
  endforeach()
  target_link_options(tower PRIVATE -Wl,--gc-sections)
endif()

if(MINGW)
  # Linked stripped and with no link time in the image's header, so the same
  # sources give the same executable, and the build is the very file the zip
  # ships. binutils' strip would write the time of stripping into the header,
  # so installing is given nothing to strip with.
  target_link_options(tower PRIVATE -s -Wl,--no-insert-timestamp)
  set(CMAKE_STRIP "")
  # libmingw32's main, which calls WinMain, comes after the shell library on
  # the link line; asking for WinMain up front pulls it out of the library.
  # 32-bit x86 decorates the stdcall name.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_link_options(tower PRIVATE -Wl,--undefined=_WinMain@16)
  else()
    target_link_options(tower PRIVATE -Wl,--undefined=WinMain)
  endif()
endif()

# What the zip holds (scripts/package packs it): the program in bin/, and the
# README with its pictures and the licence beside bin/.
install(TARGETS tower RUNTIME DESTINATION bin)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/docs/tower.webp ${PROJECT_SOURCE_DIR}/docs/tower.png
        DESTINATION docs)
