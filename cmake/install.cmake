# What `cmake --install` puts in place, in two components that are also the two Debian
# packages `cpack -G DEB` makes:
# - tools: the two programs, their manual pages and the XSD schemas `pelagon-dsr validate` takes;
# - dev:   the device-data library, its public headers and version header, the CMake package
#          (find_package(pelagon) gives pelagon::devicedata) and the pkg-config file.
include(CMakePackageConfigHelpers)

set(PELAGON_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/pelagon)

install(TARGETS pelagon-dsr pelagon-install RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
install(FILES man/pelagon-dsr.1 man/pelagon-install.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
install(DIRECTORY schemas/ DESTINATION ${CMAKE_INSTALL_DATADIR}/pelagon/schemas COMPONENT tools
  FILES_MATCHING PATTERN "*.xsd")

install(TARGETS pelagon_devicedata EXPORT pelagonTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(FILES ${PELAGON_INCLUDE_DIR}/pelagon/version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/pelagon COMPONENT dev)
install(EXPORT pelagonTargets NAMESPACE pelagon:: DESTINATION ${PELAGON_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(cmake/pelagonConfig.cmake.in
  ${PROJECT_BINARY_DIR}/pelagonConfig.cmake INSTALL_DESTINATION ${PELAGON_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/pelagonConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/pelagonConfig.cmake ${PROJECT_BINARY_DIR}/pelagonConfigVersion.cmake
  DESTINATION ${PELAGON_CMAKE_DIR} COMPONENT dev)

# The pkg-config file finds the prefix from its own place, so that it holds wherever the tree
# is installed (`cmake --install --prefix`, the Debian package's /usr).
file(RELATIVE_PATH PELAGON_PC_TO_PREFIX
  /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(cmake/pelagon-devicedata.pc.in ${PROJECT_BINARY_DIR}/pelagon-devicedata.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/pelagon-devicedata.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# ---- The Debian packages ----
set(CPACK_PACKAGE_NAME pelagon-kd)
set(CPACK_PACKAGE_VENDOR "Pelagon")
set(CPACK_PACKAGE_CONTACT "Pelagon KD device support <support@pelagon.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Pelagon KD device support for the Chromalith RIP")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL tools dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME pelagon-kd)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SHLIBDEPS ON)
# The libraries come with the shared-library dependencies; the font pelagon-dsr plot writes
# its labels in does not.
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "fonts-dejavu-core")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION
  "Pelagon KD device support for the Chromalith RIP: the tools\n"
  "pelagon-install writes the 96 Pelagon KD device files into Chromalith's folders;\n"
  "pelagon-dsr inspects, checks, validates, converts, merges, compares and plots device files.")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libpelagon-devicedata-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libpugixml-dev, libxml2-dev")
set(CPACK_COMPONENT_DEV_DESCRIPTION
  "Pelagon KD device-data library: static library and headers\n"
  "Reads and writes Chromalith's device-series, media-setting and passmask files\n"
  "byte for byte, and merges a new device series with the user's media.")
include(CPack)
