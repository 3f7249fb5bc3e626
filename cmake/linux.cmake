# Installing on Linux: the program with its menu entry, icon, manual page and
# README. cpack in the build directory packs the same tree as a .deb and as a
# .tar.gz. Tests and benchmarks have no install rules.
include(GNUInstallDirs)

set(TOWER_LINUX_DIR ${CMAKE_CURRENT_LIST_DIR}/linux)

install(TARGETS tower RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${TOWER_LINUX_DIR}/tower.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 48 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/icon/tower-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME tower.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Manual pages and a native package's changelog go in gzipped, without a
# name or time stamp in the gzip header, so the same sources give the same
# package.
set(TOWER_DOC_BUILD_DIR ${CMAKE_BINARY_DIR}/docs)
configure_file(${TOWER_LINUX_DIR}/tower.1 ${TOWER_DOC_BUILD_DIR}/tower.1 @ONLY)
configure_file(${TOWER_LINUX_DIR}/changelog ${TOWER_DOC_BUILD_DIR}/changelog COPYONLY)
foreach(doc tower.1 changelog)
  add_custom_command(OUTPUT ${TOWER_DOC_BUILD_DIR}/${doc}.gz
    COMMAND gzip -9 -n -c ${doc} > ${doc}.gz
    DEPENDS ${TOWER_DOC_BUILD_DIR}/${doc}
    WORKING_DIRECTORY ${TOWER_DOC_BUILD_DIR}
    VERBATIM)
endforeach()
add_custom_target(tower_docs DEPENDS ${TOWER_DOC_BUILD_DIR}/tower.1.gz
                                    ${TOWER_DOC_BUILD_DIR}/changelog.gz)
# Installing needs them even after a build of the program alone.
add_dependencies(tower tower_docs)
install(FILES ${TOWER_DOC_BUILD_DIR}/tower.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${TOWER_DOC_BUILD_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB TGZ)
set(CPACK_PACKAGE_NAME tower)
set(CPACK_PACKAGE_VENDOR tower)
set(CPACK_PACKAGE_CONTACT "tower developers <tower@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "animated tower of colour-blended triangles, full screen")
set(CPACK_PACKAGE_DESCRIPTION
    "A small full-screen OpenGL program. It covers the screen with a borderless
window and animates one scene: a tower of 22 colour-blended triangles that
curls over and writhes as each level twists back and forth at its own
frequency. Escape or closing the window ends it.")
set(CPACK_PACKAGE_FILE_NAME tower-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_STRIP_FILES ON)

# The dependencies are what dpkg-shlibdeps reads off the binary, and nothing
# else.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
