# What `cmake --install` puts where (any prefix; DESTDIR honoured), and the
# Debian package CPack makes of it (`make package`).
include(GNUInstallDirs)
# Debian's folder is the package's name, in lower case.
if(CMAKE_INSTALL_DOCDIR STREQUAL "${CMAKE_INSTALL_DATAROOTDIR}/doc/${PROJECT_NAME}")
  set(CMAKE_INSTALL_DOCDIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/velmora")
endif()

set(VELMORA_HOMEPAGE "https://velmora.example.org" CACHE STRING "Project home page, named in the AppStream metainfo")
set(VELMORA_MAINTAINER "Velmora maintainers <velmora@localhost>" CACHE STRING "Maintainer of the Debian package")

set(_programs velmoractl velmora-sim)
if(TARGET velmora)
  list(PREPEND _programs velmora)
endif()
install(TARGETS ${_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The simulated bridge libraries are tools for trying the firmware update,
# not libraries to link against: kept off the library path.
install(TARGETS ftd2xx-sim ftdi1-sim LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/velmora)

set(_data ${PROJECT_SOURCE_DIR}/data)
if(TARGET velmora)
  install(FILES ${_data}/velmora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${_data}/velmora.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(DIRECTORY ${PROJECT_BINARY_DIR}/icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
  configure_file(${_data}/org.hovelt.velmora.metainfo.xml.in ${PROJECT_BINARY_DIR}/org.hovelt.velmora.metainfo.xml @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/org.hovelt.velmora.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${_data}/velmora-settings.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME velmora.xml)
endif()
install(FILES ${_data}/velmoractl.bash-completion DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME velmoractl)
install(FILES ${_data}/60-velmora.rules DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
# The headless server as a template unit, for the system and for users.
install(FILES ${_data}/velmora-serve@.service DESTINATION lib/systemd/system)
install(FILES ${_data}/velmora-serve@.service DESTINATION lib/systemd/user)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME changelog)
# The Debian package's own changelog, made from CHANGELOG.md.
find_program(VELMORA_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.Debian.gz
                   COMMAND ${CMAKE_COMMAND} -DINPUT=${PROJECT_SOURCE_DIR}/CHANGELOG.md
                           -DOUTPUT=${PROJECT_BINARY_DIR}/changelog.Debian "-DMAINTAINER=${VELMORA_MAINTAINER}"
                           -P ${PROJECT_SOURCE_DIR}/cmake/DebianChangelog.cmake
                   COMMAND ${VELMORA_GZIP} -9nf ${PROJECT_BINARY_DIR}/changelog.Debian
                   DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/cmake/DebianChangelog.cmake
                   VERBATIM)
add_custom_target(velmora_debian_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.Debian.gz)
install(FILES ${PROJECT_BINARY_DIR}/changelog.Debian.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${_data}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The manual pages name installed paths, which are known only when
# installing (cmake --install --prefix, CPack's /usr): written then.
install(CODE "
  set(VELMORA_MAN_SOURCE \"${PROJECT_SOURCE_DIR}/docs/man\")
  set(VELMORA_MAN_BINARY \"${PROJECT_BINARY_DIR}/man\")
  set(VELMORA_MAN_VERSION \"${PROJECT_VERSION}\")
  set(VELMORA_MAN_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(VELMORA_MAN_DOCDIR \"${CMAKE_INSTALL_DOCDIR}\")
  set(VELMORA_MAN_MANDIR \"${CMAKE_INSTALL_MANDIR}\")
")
install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/InstallManPages.cmake)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR Hovelt)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${VELMORA_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "operator's program for a USB analog output generator")
set(CPACK_PACKAGE_DESCRIPTION
    "Velmora drives a USB analog output unit with one, two or four channels of
4-20 mA, 0-24 mA or 0-10 V style outputs: ranges, set values, presets,
conversion formulas, automatic outputs, output adjustment, the unit's
information report and its firmware update. velmoractl does the same from
the command line and velmora-sim plays the unit on a pseudo-terminal.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VELMORA_HOMEPAGE})
# Dependencies from the binaries; the window also needs Qt's platform
# plugins, which it loads at run time, and its Japanese texts want a font.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-noto-cjk | fonts-ipafont-gothic")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libftdi1-2")
include(CPack)
