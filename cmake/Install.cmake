# Desktop integration for `cmake --install`: the help page the Help menu opens, a
# menu entry that offers the program for model files, its icon and the model file
# types that older desktops do not know.
install(FILES ${CMAKE_SOURCE_DIR}/docs/help.html
  DESTINATION ${CMAKE_INSTALL_DATADIR}/marionette-lab)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/marionette-lab.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${ML_ICONS_DIR}/logo.png
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps
  RENAME marionette-lab.png)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/marionette-lab-mime.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
  RENAME marionette-lab.xml)

# Distribution packages refresh these caches in their own triggers; a direct
# install into a prefix has to do it itself for "Open with" to list the program.
install(CODE "set(ML_DATADIR \"${CMAKE_INSTALL_DATADIR}\")")
install(CODE [[
  if(NOT "$ENV{DESTDIR}")
    set(data_dir "${ML_DATADIR}")
    if(NOT IS_ABSOLUTE "${data_dir}")
      set(data_dir "${CMAKE_INSTALL_PREFIX}/${data_dir}")
    endif()
    find_program(ML_UPDATE_MIME update-mime-database)
    find_program(ML_UPDATE_DESKTOP update-desktop-database)
    if(ML_UPDATE_MIME)
      execute_process(COMMAND ${ML_UPDATE_MIME} "${data_dir}/mime")
    endif()
    if(ML_UPDATE_DESKTOP)
      execute_process(COMMAND ${ML_UPDATE_DESKTOP} "${data_dir}/applications")
    endif()
  endif()
]])
