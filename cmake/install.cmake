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

# The pkg-config file names its paths relative to its own folder, so that
# an install into another prefix than the configured one
# (`cmake --install --prefix`), or one moved afterwards, names itself.
file(RELATIVE_PATH KV_PC_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig
     ${CMAKE_INSTALL_PREFIX})
# A path up to a parent folder comes with a trailing "/" ("../../"), which
# the pkg-config file joins with another.
string(REGEX REPLACE "/+$" "" KV_PC_PREFIX "${KV_PC_PREFIX}")
file(RELATIVE_PATH KV_PC_LIBDIR ${CMAKE_INSTALL_PREFIX}
     ${CMAKE_INSTALL_FULL_LIBDIR})
file(RELATIVE_PATH KV_PC_INCLUDEDIR ${CMAKE_INSTALL_PREFIX}
     ${CMAKE_INSTALL_FULL_INCLUDEDIR}/kvreposadmin)
configure_file(${CMAKE_CURRENT_LIST_DIR}/kvreposadmin.pc.in
               ${PROJECT_BINARY_DIR}/kvreposadmin.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kvreposadmin.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
