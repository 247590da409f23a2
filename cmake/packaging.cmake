# Installation and release packages. Each package holds the program, its
# licence and the user documents (the README and the guides under docs/):
#   Linux:   bin/kestrun, the manual page, share/doc/kestrun; a tar.gz
#   Windows: Kestrun.exe beside the documents; a zip
include(GNUInstallDirs)

set(KESTRUN_DOCUMENTS README.md LICENSE)
# A new user guide is one more name here.
set(KESTRUN_GUIDES docs/report.md docs/html_report.md docs/integrations.md)

if(WIN32)
  install(TARGETS kestrun RUNTIME DESTINATION .)
  install(FILES ${KESTRUN_DOCUMENTS} DESTINATION .)
  install(FILES ${KESTRUN_GUIDES} DESTINATION docs)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
  set(CPACK_GENERATOR ZIP)
else()
  install(TARGETS kestrun RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES docs/kestrun.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${KESTRUN_DOCUMENTS} DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${KESTRUN_GUIDES} DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
  set(CPACK_SYSTEM_NAME ${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_GENERATOR TGZ)

  # `make uninstall PREFIX=...` removes the same files under any prefix.
  set(KESTRUN_INSTALLED_FILES ${CMAKE_INSTALL_BINDIR}/kestrun ${CMAKE_INSTALL_MANDIR}/man1/kestrun.1)
  foreach(document IN LISTS KESTRUN_DOCUMENTS)
    list(APPEND KESTRUN_INSTALLED_FILES ${CMAKE_INSTALL_DOCDIR}/${document})
  endforeach()
  foreach(guide IN LISTS KESTRUN_GUIDES)
    list(APPEND KESTRUN_INSTALLED_FILES ${CMAKE_INSTALL_DOCDIR}/${guide})
  endforeach()
  set(KESTRUN_INSTALLED_FOLDERS ${CMAKE_INSTALL_DOCDIR}/docs ${CMAKE_INSTALL_DOCDIR})
  configure_file(${CMAKE_SOURCE_DIR}/cmake/uninstall.cmake.in ${CMAKE_BINARY_DIR}/uninstall.cmake @ONLY)
endif()

set(CPACK_PACKAGE_NAME kestrun)
set(CPACK_PACKAGE_VENDOR "Kestrun developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Checks MPEG-2 transport streams for lost packets")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
set(CPACK_STRIP_FILES ON)
include(CPack)
