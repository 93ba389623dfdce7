# Installation of what platform/ and src/ do not install themselves: the
# table sets, the documents, and the files by which a host finds the engine
# (a CMake package config with the exported targets, and a pkg-config file).
install(DIRECTORY ${PROJECT_SOURCE_DIR}/etc/reposcreate/
        DESTINATION ${KV_INSTALL_TABLESETDIR})
install(FILES ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

include(CMakePackageConfigHelpers)
install(EXPORT kvreposadminTargets NAMESPACE kvreposadmin::
        DESTINATION ${KV_INSTALL_CMAKEDIR})
configure_package_config_file(
  ${CMAKE_CURRENT_LIST_DIR}/kvreposadminConfig.cmake.in
  ${PROJECT_BINARY_DIR}/kvreposadminConfig.cmake
  INSTALL_DESTINATION ${KV_INSTALL_CMAKEDIR})
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/kvreposadminConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kvreposadminConfig.cmake
              ${PROJECT_BINARY_DIR}/kvreposadminConfigVersion.cmake
        DESTINATION ${KV_INSTALL_CMAKEDIR})

# The pkg-config file names the prefix it is installed into, which
# `cmake --install --prefix` may choose after configuring: it is written at
# install time, with plain paths (a host takes libdir as its rpath). A copy
# moved afterwards is read with pkg-config's --define-prefix, which takes
# the prefix from the file's own folder.
install(CODE "
  set(KV_PC_TEMPLATE [[${CMAKE_CURRENT_LIST_DIR}/kvreposadmin.pc.in]])
  set(KV_PC_FILE [[${PROJECT_BINARY_DIR}/kvreposadmin.pc]])
  set(KV_PC_VERSION [[${PROJECT_VERSION}]])
  set(KV_PC_LIBDIR [[${CMAKE_INSTALL_LIBDIR}]])
  set(KV_PC_INCLUDEDIR [[${KV_INSTALL_INCLUDEDIR}]])
  include([[${CMAKE_CURRENT_LIST_DIR}/kvreposadmin_pc.cmake]])")
install(FILES ${PROJECT_BINARY_DIR}/kvreposadmin.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
