# The offscreen GL context shared by the pixel tests and the Mesa benchmark,
# and the GL library it renders with. Both folders include this file; the
# first one to do so defines tower_offscreen.
#
# The renderer calls gl* by name, so the library that exports them decides
# which context they reach: EGL goes through the vendor-neutral libOpenGL,
# OSMesa exports its own. The two cannot share a binary, so the choice is
# made here, once.
set(TOWER_OFFSCREEN "auto" CACHE STRING
    "Offscreen GL for the pixel tests and the Mesa benchmark: auto, egl or osmesa")
set_property(CACHE TOWER_OFFSCREEN PROPERTY STRINGS auto egl osmesa)

find_package(OpenGL COMPONENTS OpenGL EGL)
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(OSMESA QUIET IMPORTED_TARGET osmesa)
endif()

get_property(_tower_offscreen_done GLOBAL PROPERTY TOWER_OFFSCREEN_DONE)
if(NOT _tower_offscreen_done)
  set_property(GLOBAL PROPERTY TOWER_OFFSCREEN_DONE TRUE)
  set(_tower_have_egl FALSE)
  if(OpenGL_OpenGL_FOUND AND OpenGL_EGL_FOUND AND TARGET OpenGL::GLU)
    set(_tower_have_egl TRUE)
  endif()
  set(_tower_have_osmesa FALSE)
  if(OSMESA_FOUND AND TARGET OpenGL::GLU)
    set(_tower_have_osmesa TRUE)
  endif()

  set(_tower_backend "")
  if(TOWER_OFFSCREEN STREQUAL "egl" OR TOWER_OFFSCREEN STREQUAL "auto")
    if(_tower_have_egl)
      set(_tower_backend egl)
    endif()
  endif()
  if(NOT _tower_backend AND (TOWER_OFFSCREEN STREQUAL "osmesa" OR TOWER_OFFSCREEN STREQUAL "auto"))
    if(_tower_have_osmesa)
      set(_tower_backend osmesa)
    endif()
  endif()

  set(_tower_dir ${CMAKE_CURRENT_LIST_DIR})
  if(_tower_backend STREQUAL "egl")
    add_library(tower_offscreen STATIC ${_tower_dir}/offscreen_context.cpp
                                       ${_tower_dir}/offscreen_egl.cpp)
    target_link_libraries(tower_offscreen PUBLIC OpenGL::OpenGL OpenGL::EGL OpenGL::GLU)
  elseif(_tower_backend STREQUAL "osmesa")
    add_library(tower_offscreen STATIC ${_tower_dir}/offscreen_context.cpp
                                       ${_tower_dir}/offscreen_osmesa.cpp)
    # OSMesa ahead of GLU, so GLU's own gl* calls bind to OSMesa too.
    target_link_libraries(tower_offscreen PUBLIC PkgConfig::OSMESA OpenGL::GLU)
  endif()

  if(TARGET tower_offscreen)
    target_include_directories(tower_offscreen PUBLIC ${_tower_dir})
    message(STATUS "Offscreen GL for pixel tests and benchmarks: ${_tower_backend}")
  else()
    message(WARNING "Offscreen GL (${TOWER_OFFSCREEN}) not found: the pixel tests and the Mesa "
                    "benchmark are not built. Install libegl-dev libgl-dev libglu1-mesa-dev, "
                    "or libosmesa6-dev.")
  endif()
endif()
