# Installation and release packages.
#   Linux:   bin/kestrun, the manual page, README and licence; a tar.gz
#   Windows: Kestrun.exe, README and licence side by side; a zip
include(GNUInstallDirs)

if(WIN32)
  install(TARGETS kestrun RUNTIME DESTINATION .)
  install(FILES README.md LICENSE DESTINATION .)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
  set(CPACK_GENERATOR ZIP)
else()
  install(TARGETS kestrun RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES docs/kestrun.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
  set(CPACK_SYSTEM_NAME ${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_GENERATOR TGZ)
endif()

set(CPACK_PACKAGE_NAME kestrun)
set(CPACK_PACKAGE_VENDOR "Kestrun developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Checks MPEG-2 transport streams for lost packets")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
set(CPACK_STRIP_FILES ON)
include(CPack)
