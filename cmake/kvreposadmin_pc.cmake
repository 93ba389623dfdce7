# Writes the pkg-config file at install time (see install.cmake), for the
# prefix being installed into: CMAKE_INSTALL_PREFIX here is the one that
# `cmake --install --prefix` gives, else the configured one; a relative one
# names a folder below the one the install runs in, as for the installed
# files. Its paths are written absolute and normalised, so that a host can
# take libdir as its rpath.
# Set by the caller: KV_PC_TEMPLATE, KV_PC_FILE, KV_PC_VERSION, and
# KV_PC_LIBDIR and KV_PC_INCLUDEDIR (relative to the prefix, or absolute).
set(KV_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
cmake_path(ABSOLUTE_PATH KV_PC_PREFIX NORMALIZE)
# No trailing "/", which the paths below would double (the root gives "").
string(REGEX REPLACE "/+$" "" KV_PC_PREFIX "${KV_PC_PREFIX}")
foreach(dir KV_PC_LIBDIR KV_PC_INCLUDEDIR)
  cmake_path(SET ${dir} NORMALIZE "${${dir}}")
  string(REGEX REPLACE "(.)/+$" "\\1" ${dir} "${${dir}}")
  if(NOT IS_ABSOLUTE "${${dir}}")
    set(${dir} "\${prefix}/${${dir}}")
  endif()
endforeach()
configure_file("${KV_PC_TEMPLATE}" "${KV_PC_FILE}" @ONLY)
