# Install layout and the Debian package. The executable finds its data files
# at <bin>/../share/vela (service/data_files.h); the build tree mirrors that
# with build/share/vela linking to the source's files, so a built binary
# serves the same panel as an installed one.
set(VELA_DATA_SETS WebControl help)

file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/share/vela)
foreach(set ${VELA_DATA_SETS})
  if(NOT IS_SYMLINK ${CMAKE_BINARY_DIR}/share/vela/${set})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/web/${set} ${CMAKE_BINARY_DIR}/share/vela/${set} SYMBOLIC)
  endif()
endforeach()
# The stock sounds (scripts/make-sounds) are seeded into the shared data
# folder on start, like the panel's files.
if(NOT IS_SYMLINK ${CMAKE_BINARY_DIR}/share/vela/sounds)
  file(CREATE_LINK ${CMAKE_SOURCE_DIR}/media/sounds ${CMAKE_BINARY_DIR}/share/vela/sounds SYMBOLIC)
endif()

# Packaging and installing use what was built; they do not start a build.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

install(TARGETS vela RUNTIME DESTINATION bin)
foreach(set ${VELA_DATA_SETS})
  install(DIRECTORY web/${set} DESTINATION share/vela)
endforeach()
install(DIRECTORY media/sounds DESTINATION share/vela)
install(FILES packaging/vela.service DESTINATION lib/systemd/system)

# Debian package: `cpack -G DEB` in a build tree (scripts/package).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vela)
set(CPACK_PACKAGE_VENDOR "Vela")
set(CPACK_PACKAGE_CONTACT "Vela maintainers <root@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "IP PBX: SIP telephone exchange with a web control panel")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# useradd for the maintainer script.
set(CPACK_DEBIAN_PACKAGE_DEPENDS passwd)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/packaging/postinst ${CMAKE_SOURCE_DIR}/packaging/prerm
    ${CMAKE_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
