# Installation and the Debian package (cpack -G DEB): both programs, the desktop entry,
# the AppStream metadata, the icon, and the Python package (src/python installs it where
# Debian's python3 finds it).
include(GNUInstallDirs)

foreach(program veltrano veltrano-batch)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

set(VELTRANO_APP_ID io.github.veltrano.Veltrano)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/${VELTRANO_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/${VELTRANO_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/${VELTRANO_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME veltrano)
set(CPACK_PACKAGE_VENDOR "Veltrano developers")
set(CPACK_PACKAGE_CONTACT "Veltrano developers <dev@veltrano.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "See how well the delta model measures knowledge in multiple-choice tests")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# The Qt libraries and the offscreen/xcb platform plugins come from Debian.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
if(TARGET _veltrano)
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", python3 (>= 3.11), python3 (<< 3.12), python3-numpy")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3-pandas, python3-tqdm")
endif()
include(CPack)

if(VELTRANO_BUILD_TESTS)
  find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
  find_program(APPSTREAMCLI appstreamcli)
  if(DESKTOP_FILE_VALIDATE)
    add_test(NAME desktop_file_is_valid
             COMMAND ${DESKTOP_FILE_VALIDATE} ${PROJECT_SOURCE_DIR}/packaging/${VELTRANO_APP_ID}.desktop)
  endif()
  if(APPSTREAMCLI)
    add_test(NAME metainfo_is_valid
             COMMAND ${APPSTREAMCLI} validate --no-net ${PROJECT_SOURCE_DIR}/packaging/${VELTRANO_APP_ID}.metainfo.xml)
  endif()
endif()
