# SPDX-License-Identifier: GPL-3.0-or-later
# What `cmake --install build --prefix P` puts where, and the Debian package
# CPack makes of it (scripts/package.sh). Included from the top CMakeLists.
include(GNUInstallDirs)

# The desktop entry's and the AppStream component's name.
set(QIRM_APP_ID org.qirm.qirm)
set(QIRM_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/qirm)
set(QIRM_PACKAGE_MAINTAINER "QIRM developers <qirm@example.org>"
    CACHE STRING "The Maintainer field of the Debian package")

install(TARGETS qirm-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
set(QIRM_MAN_PAGES qirm-cli)
if(QIRM_BUILD_UI)
  install(TARGETS qirm RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES packaging/${QIRM_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES packaging/${QIRM_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES packaging/icons/qirm.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size 48 128 256)
    install(FILES packaging/icons/${size}/qirm.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  list(APPEND QIRM_MAN_PAGES qirm)
endif()
# FITS needs no MIME type of our own: shared-mime-info knows application/fits
# (alias image/fits) with its extensions and its "SIMPLE  =" magic.

# Manual pages with the version filled in, compressed as Debian keeps them.
set(QIRM_MAN_FILES)
foreach(page ${QIRM_MAN_PAGES})
  configure_file(packaging/man/${page}.1.in ${CMAKE_BINARY_DIR}/man/${page}.1 @ONLY)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.1.gz
    COMMAND gzip -9 -n -c ${page}.1 > ${page}.1.gz
    DEPENDS ${CMAKE_BINARY_DIR}/man/${page}.1
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/man
    VERBATIM)
  list(APPEND QIRM_MAN_FILES ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
endforeach()
add_custom_target(qirm_man ALL DEPENDS ${QIRM_MAN_FILES})
install(FILES ${QIRM_MAN_FILES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(DIRECTORY docs/ DESTINATION ${QIRM_DOC_DIR})
install(FILES README.md packaging/debian/copyright DESTINATION ${QIRM_DOC_DIR})

# The Debian package: `cpack -G DEB` in a configured and built tree. CPack
# packs what is built; it does not build everything first (the package
# check runs beside other tests, and scripts/package.sh builds first).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qirm)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "QIRM developers")
set(CPACK_PACKAGE_CONTACT "${QIRM_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "image processor for astronomical photographs")
set(CPACK_PACKAGE_DESCRIPTION
    "QIRM opens FITS frames from CCD cameras and BMP, JPEG and Netpbm pictures,
shows them through an adjustable level window, measures stars and meteor
trails, filters and stacks frames, traces spectra and composes colour
pictures from red, green and blue frames. The user interface is in Japanese.
qirm-cli runs the same computations from the command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# The libraries' packages from dpkg-shlibdeps, and the toolkit's platform
# plugins, which only a recommendation of the toolkit brings: without them
# the program cannot open a window.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The user interface is in Japanese.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/packaging/debian/postinst ${CMAKE_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
