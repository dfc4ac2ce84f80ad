# Writes the menu entries at install time, from their templates, with the program's full path
# under the prefix being installed to (quoted when it holds blanks, as menu entries want it).
foreach(program GlanzoFlash ZOV_J8Update)
  set(exec "${CMAKE_INSTALL_PREFIX}/${GLANZO_BINDIR}/${program}")
  if(IS_ABSOLUTE "${GLANZO_BINDIR}")
    set(exec "${GLANZO_BINDIR}/${program}")
  endif()
  if(exec MATCHES " ")
    set(exec "\"${exec}\"")
  endif()
  set(entry "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${GLANZO_DATADIR}/applications/${program}.desktop")
  message(STATUS "Installing: ${entry}")
  configure_file("${GLANZO_ENTRY_TEMPLATES}/${program}.desktop.in" "${entry}" @ONLY)
endforeach()
