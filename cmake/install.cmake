# cmake --install and the Debian package of ksetup-tool.
#
# Installed: bin/ksetup-tool, share/ksetup/win32/KSetup.exe and
# share/ksetup/win64/KSetup.exe, share/man/man1/ksetup-tool.1.gz. The two
# KSetup.exe builds come from the Windows build trees, which this (native)
# build does not make: the cache variables KSETUP_EXE_WIN32 and
# KSETUP_EXE_WIN64 name them (by default build/win32 and build/win64 of this
# source tree, as scripts/build.sh makes them). The tool finds the win32 build
# as its default KSetup.exe by a path relative to its own folder
# (KSETUP_DATA_FROM_BIN in ksetup_version.h), so that the installed tree works
# wherever it is put: dpkg --instdir, a copied prefix.
#
#   cmake --install build/native --prefix /usr/local
#   (cd build/native && cpack)   # build/native/ksetup-tool_VERSION_ARCH.deb

set(KSETUP_EXE_WIN32 "${CMAKE_SOURCE_DIR}/build/win32/bin/KSetup.exe" CACHE FILEPATH
    "The i686 KSetup.exe that cmake --install and the package ship (the tool's default)")
set(KSETUP_EXE_WIN64 "${CMAKE_SOURCE_DIR}/build/win64/bin/KSetup.exe" CACHE FILEPATH
    "The x86_64 KSetup.exe that cmake --install and the package ship")

install(TARGETS ksetup-tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(arch win32 win64)
  string(TOUPPER ${arch} upper)
  # Checked when installing, not when configuring: the Windows builds may
  # come later than this one.
  install(CODE "
    if(NOT EXISTS \"${KSETUP_EXE_${upper}}\")
      message(FATAL_ERROR \"no ${arch} KSetup.exe at ${KSETUP_EXE_${upper}}: build the ${arch} preset or set KSETUP_EXE_${upper}\")
    endif()")
  install(FILES ${KSETUP_EXE_${upper}} DESTINATION ${KSETUP_DATA_DIR}/${arch})
endforeach()

# The manual page, with the version filled in, compressed as Debian keeps
# them (no name or date in the gzip header, so that it is reproducible).
configure_file(${CMAKE_SOURCE_DIR}/docs/ksetup-tool.1.in ${CMAKE_BINARY_DIR}/ksetup-tool.1 @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/ksetup-tool.1.gz
  COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/ksetup-tool.1 > ${CMAKE_BINARY_DIR}/ksetup-tool.1.gz
  DEPENDS ${CMAKE_BINARY_DIR}/ksetup-tool.1
  COMMENT "Compressing the manual page")
add_custom_target(ksetup-manpage ALL DEPENDS ${CMAKE_BINARY_DIR}/ksetup-tool.1.gz)
install(FILES ${CMAKE_BINARY_DIR}/ksetup-tool.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ksetup-tool)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "KSetup")
set(CPACK_PACKAGE_CONTACT "KSetup developers <ksetup@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "authoring tool for KSetup game disc sets")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "ksetup-tool makes a game's CD-ROM set and its ISO 9660 images from a project\n"
    "folder (setup script, PNG pictures, game files), signs the setup program\n"
    "KSetup.exe, checks scripts and images, and installs a disc set natively for\n"
    "testing. Both builds of KSetup.exe (i686 and x86_64) are included.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "osslsigncode")
set(CPACK_STRIP_FILES bin/ksetup-tool)
include(CPack)
