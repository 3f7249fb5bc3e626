# The Windows executable: tower.exe, a 32-bit GUI program over the system's
# own OpenGL and GLU. The renderer and shell libraries build it unchanged.

set(TOWER_WINDOWS_DIR ${CMAKE_CURRENT_LIST_DIR}/windows)

if(MSVC)
  # The MSVC linker writes its own manifest; a listed .manifest source is
  # merged into it, where a second RT_MANIFEST resource would clash.
  set(tower_resources ${TOWER_WINDOWS_DIR}/tower.manifest)
else()
  enable_language(RC)
  set(tower_resources ${TOWER_WINDOWS_DIR}/tower.rc)
  set_source_files_properties(${TOWER_WINDOWS_DIR}/tower.rc PROPERTIES
    OBJECT_DEPENDS ${TOWER_WINDOWS_DIR}/tower.manifest)
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
  # libmingw32's main, which calls WinMain, comes after the shell library on
  # the link line; asking for WinMain up front pulls it out of the library.
  # 32-bit x86 decorates the stdcall name.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_link_options(tower PRIVATE -Wl,--undefined=_WinMain@16)
  else()
    target_link_options(tower PRIVATE -Wl,--undefined=WinMain)
  endif()
endif()

install(TARGETS tower RUNTIME DESTINATION bin)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION . OPTIONAL)

set(CPACK_GENERATOR ZIP)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_NAME tower)
set(CPACK_PACKAGE_VENDOR tower)
set(CPACK_PACKAGE_FILE_NAME tower-${PROJECT_VERSION}-win32)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "A tower of colour-blended triangles, full screen in 16-bit colour")
include(CPack)
