# Run by cmake --install: the manual pages with the paths of this
# installation, compressed as Debian keeps them.
foreach(_page velmora velmoractl velmora-sim)
  set(VERSION ${VELMORA_MAN_VERSION})
  set(LIBDIR ${CMAKE_INSTALL_PREFIX}/${VELMORA_MAN_LIBDIR})
  set(DOCDIR ${CMAKE_INSTALL_PREFIX}/${VELMORA_MAN_DOCDIR})
  configure_file(${VELMORA_MAN_SOURCE}/${_page}.1 ${VELMORA_MAN_BINARY}/${_page}.1 @ONLY)
  file(REMOVE ${VELMORA_MAN_BINARY}/${_page}.1.gz)
  execute_process(COMMAND gzip -9n ${VELMORA_MAN_BINARY}/${_page}.1 RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "gzip could not compress ${_page}.1")
  endif()
  file(INSTALL ${VELMORA_MAN_BINARY}/${_page}.1.gz DESTINATION ${CMAKE_INSTALL_PREFIX}/${VELMORA_MAN_MANDIR}/man1)
endforeach()
