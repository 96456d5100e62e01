# Installation and the Debian package.
#
#   cmake --install build/default --prefix /usr/local     both programs, desktop entry, icon
#   cd build/default && cpack -G DEB                      quorvel_<version>_<arch>.deb
#
# Programs go to bin/, the desktop entry to share/applications/ and the icon to the hicolor
# theme, the places desktops look. The package's runtime dependencies (Qt 6, zlib, libdeflate,
# the C++ runtime) are worked out from the installed programs by dpkg-shlibdeps.
include(GNUInstallDirs)

if(TARGET quorvel)
  install(TARGETS quorvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT quorvel)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/quorvel.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT quorvel)
  set(quorvel_icon ${PROJECT_SOURCE_DIR}/app/ui/resources/quorvel.png)
  if(EXISTS ${quorvel_icon})
    # The theme folder is named after the image size: a PNG's width is bytes 16..19.
    file(READ ${quorvel_icon} icon_width OFFSET 16 LIMIT 4 HEX)
    math(EXPR icon_width "0x${icon_width}")
    install(FILES ${quorvel_icon}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${icon_width}x${icon_width}/apps
            COMPONENT quorvel)
  endif()
endif()
if(TARGET quorvel-cli)
  if(WIN32)
    # The Windows zip: the program and a read-me side by side, nothing to install.
    install(TARGETS quorvel-cli RUNTIME DESTINATION . COMPONENT quorvel)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/windows-readme.txt DESTINATION . RENAME README.txt
            COMPONENT quorvel)
    set(CPACK_PACKAGE_FILE_NAME quorvel-cli-${PROJECT_VERSION}-windows-x64)
  else()
    install(TARGETS quorvel-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT quorvel)
  endif()
endif()

set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VENDOR "The Quorvel developers")
set(CPACK_PACKAGE_CONTACT "The Quorvel developers <quorvel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvel rewrites .ACE texture files in place in zlib-compressed form and reports the bytes\
 saved: a window program for one file or a folder tree, and quorvel-cli, a parallel batch\
 command for scripts and build pipelines.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY quorvel)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(NOT WIN32)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
endif()
include(CPack)
