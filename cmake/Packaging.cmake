# Install rules and the Debian package.
#
# Installed layout, relative to the prefix (/usr in the package):
#   bin/VaskorLinkPC
#   share/vaskorlinkpc/VaskorLinkPC.pdf        help; ../share/vaskorlinkpc/ from bin/
#   share/applications/example.vaskor.VaskorLinkPC.desktop
#   share/metainfo/example.vaskor.VaskorLinkPC.metainfo.xml
#   share/icons/hicolor/{16x16,32x32,48x48,256x256}/apps/vaskorlinkpc.png
#   share/icons/hicolor/scalable/apps/vaskorlinkpc.svg
#   share/man/man1/VaskorLinkPC.1.gz
#   lib/systemd/user/vaskorlinkpc.service
#   lib/systemd/user/vaskorlinkpc@.service      one bridge per device
include(GNUInstallDirs)

# The AppStream id; desktop environments match the desktop file and the
# metainfo to each other by it, so both files are installed under it.
set(VASKOR_APP_ID example.vaskor.VaskorLinkPC)
# The date of the release that project(VERSION) names; bump them together.
set(VASKOR_RELEASE_DATE 2026-12-08)

set(VASKOR_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(VASKOR_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)

install(TARGETS VaskorLinkPC RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Built by tools/CMakeLists.txt (target help_pdf, part of ALL).
install(FILES ${CMAKE_BINARY_DIR}/bin/VaskorLinkPC.pdf
  DESTINATION ${CMAKE_INSTALL_DATADIR}/vaskorlinkpc)

install(FILES ${VASKOR_PACKAGING_DIR}/vaskorlinkpc.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
  RENAME ${VASKOR_APP_ID}.desktop)

configure_file(${VASKOR_PACKAGING_DIR}/vaskorlinkpc.metainfo.xml.in
  ${VASKOR_PACKAGING_OUT}/${VASKOR_APP_ID}.metainfo.xml @ONLY)
install(FILES ${VASKOR_PACKAGING_OUT}/${VASKOR_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

foreach(size 16 32 48 256)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/VaskorLinkPC-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME vaskorlinkpc.png)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/resources/VaskorLinkPC.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
  RENAME vaskorlinkpc.svg)

# Debian installs man pages compressed; -n keeps the time stamp out, so the
# file is the same on every build.
add_custom_command(
  OUTPUT ${VASKOR_PACKAGING_OUT}/VaskorLinkPC.1.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${VASKOR_PACKAGING_DIR}/VaskorLinkPC.1 ${VASKOR_PACKAGING_OUT}/VaskorLinkPC.1
  COMMAND gzip -9nf ${VASKOR_PACKAGING_OUT}/VaskorLinkPC.1
  DEPENDS ${VASKOR_PACKAGING_DIR}/VaskorLinkPC.1
  COMMENT "Compressing the man page VaskorLinkPC.1"
  VERBATIM)
add_custom_target(vaskor_man_page ALL DEPENDS ${VASKOR_PACKAGING_OUT}/VaskorLinkPC.1.gz)
install(FILES ${VASKOR_PACKAGING_OUT}/VaskorLinkPC.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The unit names the executable by its absolute path, and that path is known
# only when installing: CPack installs under /usr whatever prefix the build
# was configured with, and `cmake --install --prefix` can move it too. So the
# unit is written at install time, from the prefix in force then. systemd
# looks for user units in <prefix>/lib/systemd/user for /usr and /usr/local,
# never in a multiarch lib directory, hence the literal "lib".
install(CODE "
  if(IS_ABSOLUTE \"${CMAKE_INSTALL_BINDIR}\")
    set(CMAKE_INSTALL_FULL_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
  else()
    set(CMAKE_INSTALL_FULL_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  endif()
  foreach(unit vaskorlinkpc.service vaskorlinkpc@.service)
    configure_file(\"${VASKOR_PACKAGING_DIR}/\${unit}.in\"
      \"${VASKOR_PACKAGING_OUT}/\${unit}\" @ONLY)
  endforeach()
")
install(FILES ${VASKOR_PACKAGING_OUT}/vaskorlinkpc.service ${VASKOR_PACKAGING_OUT}/vaskorlinkpc@.service
  DESTINATION lib/systemd/user)

# --- Debian package (cpack -G DEB, or the `package` target) ---

execute_process(COMMAND dpkg --print-architecture
  OUTPUT_VARIABLE VASKOR_DEB_ARCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT VASKOR_DEB_ARCH)
  string(TOLOWER "${CMAKE_SYSTEM_PROCESSOR}" VASKOR_DEB_ARCH)
  if(VASKOR_DEB_ARCH STREQUAL "x86_64")
    set(VASKOR_DEB_ARCH amd64)
  elseif(VASKOR_DEB_ARCH STREQUAL "aarch64")
    set(VASKOR_DEB_ARCH arm64)
  endif()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vaskorlinkpc)
set(CPACK_PACKAGE_VENDOR "Vaskor")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "VaskorLinkPC developers <developers@vaskor.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "virtual serial port bridged to a TCP network device")
set(CPACK_PACKAGE_DESCRIPTION
  "VaskorLinkPC lets a program that can only talk to a serial port reach a
network device over TCP. It presents a virtual serial port (a pseudo-terminal
behind a link with a stable name), holds a TCP client connection to the
device, and passes every byte both ways, unchanged. It sits in the desktop's
tray; a systemd user unit runs it without a desktop.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_SOURCE_IGNORE_FILES "/build/" "/\\\\.git/")

set(CPACK_DEBIAN_PACKAGE_NAME vaskorlinkpc)
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${VASKOR_DEB_ARCH})
set(CPACK_DEBIAN_FILE_NAME "VaskorLinkPC_${PROJECT_VERSION}_${VASKOR_DEB_ARCH}.deb")
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://vaskor.example/")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)

# Loaded at run time, where no linker-level tool can see them: the platform
# plugins (xcb, offscreen) and the font the window's text is drawn in.
set(VASKOR_DEB_RUNTIME_DEPENDS "qt6-qpa-plugins, fonts-liberation")
# dpkg-shlibdeps (dpkg-dev) names every library the executable links, with
# the minimum version this build needs: the Qt libraries, libc, libstdc++.
# Without it, name the Qt libraries by hand and trust the base system for
# the rest.
find_program(VASKOR_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(VASKOR_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${VASKOR_DEB_RUNTIME_DEPENDS}")
else()
  message(STATUS "dpkg-shlibdeps not found: the package names its Qt libraries without versions")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6core6, libqt6gui6, libqt6widgets6, libqt6network6, ${VASKOR_DEB_RUNTIME_DEPENDS}")
endif()
# Help and the About window's link open through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")

include(CPack)

if(BUILD_TESTING AND NOT VASKOR_SANITIZE)
  add_test(NAME package_deb
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/package/package_test.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(package_deb PROPERTIES LABELS package TIMEOUT 180)
endif()
