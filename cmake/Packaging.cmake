# Installation and the Debian package.
#
#   cmake --install build/release --prefix /usr/local     programs, desktop entry, icon, file type
#   make package                                          build/release/quorvel_<version>_<arch>.deb
#
# Programs go to bin/, the desktop entry to share/applications/, the icon to the hicolor theme
# and the .ace file type to share/mime/packages/, the places desktops look; the copyright file
# and changelog to share/doc/quorvel/. With QUORVEL_MANUALS the manual pages are made at build
# time and go to share/man/man1/ (cmake/Manuals.cmake). The package's runtime dependencies
# (Qt 6, zlib, libdeflate, the C++ runtime) are worked out from the installed programs by
# dpkg-shlibdeps; its programs are stripped.
include(GNUInstallDirs)

option(QUORVEL_MANUALS
       "Make the manual pages and the packaged changelog at build time (help2man, go-md2man)" OFF)

set(QUORVEL_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(QUORVEL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/quorvel)

if(WIN32)
  # The Windows zip: the programs and a read-me side by side, nothing to install.
  foreach(program quorvel quorvel-cli)
    if(TARGET ${program})
      install(TARGETS ${program} RUNTIME DESTINATION . COMPONENT quorvel)
    endif()
  endforeach()
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/windows-readme.txt DESTINATION . RENAME README.txt
          COMPONENT quorvel)
  set(CPACK_PACKAGE_FILE_NAME quorvel-${PROJECT_VERSION}-windows-x64)
elseif(TARGET quorvel)
  install(TARGETS quorvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT quorvel)
  install(FILES ${QUORVEL_PACKAGING_DIR}/quorvel.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT quorvel)
  # The window program's file type: "Open with" offers the program for .ace files.
  install(FILES ${QUORVEL_PACKAGING_DIR}/quorvel-mime.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME quorvel.xml COMPONENT quorvel)
  set(quorvel_icon ${PROJECT_SOURCE_DIR}/resources/quorvel.png)
  if(EXISTS ${quorvel_icon})
    # The theme folder is named after the image size: a PNG's width is bytes 16..19.
    file(READ ${quorvel_icon} icon_width OFFSET 16 LIMIT 4 HEX)
    math(EXPR icon_width "0x${icon_width}")
    install(FILES ${quorvel_icon}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${icon_width}x${icon_width}/apps
            COMPONENT quorvel)
  endif()
endif()
if(TARGET quorvel-cli AND NOT WIN32)
  install(TARGETS quorvel-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT quorvel)
endif()
if(WIN32)
  install(FILES ${QUORVEL_PACKAGING_DIR}/copyright DESTINATION . RENAME COPYRIGHT.txt
          COMPONENT quorvel)
else()
  install(FILES ${QUORVEL_PACKAGING_DIR}/copyright DESTINATION ${QUORVEL_DOC_DIR}
          COMPONENT quorvel)
endif()
if(NOT WIN32)
  install(FILES ${QUORVEL_PACKAGING_DIR}/lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME quorvel COMPONENT quorvel)
endif()

if(QUORVEL_MANUALS)
  include(${CMAKE_CURRENT_LIST_DIR}/Manuals.cmake)
endif()

set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VENDOR "The Quorvel developers")
set(CPACK_PACKAGE_CONTACT "Quorvel developers <developers@quorvel.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Lines of at most 80 characters, as Debian's control file wants them; cpack indents them.
set(CPACK_PACKAGE_DESCRIPTION
"Quorvel rewrites .ACE texture files in place in zlib-compressed form and
reports the bytes saved. A file already compressed is recognised and left
alone, and every file is replaced through a temporary copy that is on disk
first, so a crash leaves either the old or the new file.

The package holds two programs: quorvel, a small window program for one
file or a whole folder tree, which file managers offer for .ace files, and
quorvel-cli, a parallel batch command for scripts and build pipelines with
dry run, verification and a JSON report.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY quorvel)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
if(NOT WIN32)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
endif()
if(WIN32)
  # The Windows installer (cpack -G NSIS, Debian's nsis): a 64-bit program made from our own
  # script, packaging/windows/NSIS.template.in, which says what it installs and registers.
  set(CPACK_MODULE_PATH ${QUORVEL_PACKAGING_DIR}/windows)
  set(CPACK_PACKAGE_INSTALL_DIRECTORY Quorvel)
  set(CPACK_NSIS_PACKAGE_NAME Quorvel)
  set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/resources/quorvel.ico)
  set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/resources/quorvel.ico)
  set(CPACK_RESOURCE_FILE_LICENSE ${QUORVEL_PACKAGING_DIR}/copyright)
endif()
include(CPack)
