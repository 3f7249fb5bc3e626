# Installing on Linux: the program with its menu entry, icon, manual page,
# README and licence. cpack in the build directory packs the same tree as a
# .deb; scripts/package packs it as a .tar.gz too. Tests and benchmarks have no
# install rules.
include(GNUInstallDirs)

set(TOWER_LINUX_DIR ${CMAKE_CURRENT_LIST_DIR}/linux)

# Directories made by installing are not group-writable, whatever the umask
# allows (a umask that takes more away still wins: scripts/package sets its own).
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS tower RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${TOWER_LINUX_DIR}/tower.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 48 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/icon/tower-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME tower.png)
endforeach()
# The README's pictures go beside it, where its links look for them.
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/docs/tower.webp ${PROJECT_SOURCE_DIR}/docs/tower.png
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)

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

set(CPACK_PACKAGE_CONTACT "tower developers <tower@example.org>")

# The licence. A .deb states it in Debian's machine-readable copyright file
# and in no other file, so the .deb takes that (component deb, left out of a
# plain install) and every other install the LICENSE file itself. Both say
# the same: the copyright file is made from LICENSE, its first line as the
# Copyright field and the rest as the text, indented, a blank line a lone dot.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE TOWER_LICENCE)
if(NOT TOWER_LICENCE MATCHES "^Copyright \\(C\\) ([^\n]+)\n\n(.+[^\n])\n*$")
  message(FATAL_ERROR "LICENSE does not start with a 'Copyright (C) ...' line and a blank one")
endif()
set(TOWER_COPYRIGHT "${CMAKE_MATCH_1}")
string(REPLACE "\n\n" "\n.\n" TOWER_LICENCE_TEXT "${CMAKE_MATCH_2}")
string(REPLACE "\n" "\n " TOWER_LICENCE_TEXT " ${TOWER_LICENCE_TEXT}")
configure_file(${TOWER_LINUX_DIR}/copyright.in ${TOWER_DOC_BUILD_DIR}/copyright @ONLY)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT licence)
install(FILES ${TOWER_DOC_BUILD_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR}
        COMPONENT deb EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};tower;Unspecified;/"
                                 "${CMAKE_BINARY_DIR};tower;deb;/")
set(CPACK_PACKAGE_NAME tower)
set(CPACK_PACKAGE_VENDOR tower)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "animated tower of colour-blended triangles, full screen")
set(CPACK_PACKAGE_DESCRIPTION
    "A small full-screen OpenGL program. It covers the screen with a borderless
window and animates one scene: a tower of 22 colour-blended triangles that
curls over and writhes as each level twists back and forth at its own
frequency. Escape or closing the window ends it.")
# The same stripped program as cmake --install --strip gives.
set(CPACK_STRIP_FILES ON)

# The dependencies are what dpkg-shlibdeps reads off the binary, and nothing
# else.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
