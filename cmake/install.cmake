# What `cmake --install build --prefix P` puts where. Included from the top
# CMakeLists.
include(GNUInstallDirs)

# The desktop entry's and the AppStream component's name.
set(QIRM_APP_ID org.qirm.qirm)
set(QIRM_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/qirm)

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
