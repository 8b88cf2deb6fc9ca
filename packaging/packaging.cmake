# Installation and the Debian packages. Two components: "quorvane", the tool with its
# desktop entry, icon and udev rules, and "devsim", the device simulator, packaged apart
# so that the tool never depends on it.
#   cmake --install BUILD [--prefix DIR] [--component quorvane|devsim]
#   cpack -G DEB   (in BUILD; scripts/package does both)
include(GNUInstallDirs)

# udev reads /usr/lib/udev/rules.d (and /etc/udev/rules.d, where an adapted copy goes).
set(QUORVANE_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING
    "Where the udev rules go, relative to the install prefix")
set(packaging ${PROJECT_SOURCE_DIR}/packaging)

# A window program: on Windows no console opens beside it (elsewhere this changes nothing).
set_target_properties(quorvane PROPERTIES WIN32_EXECUTABLE ON)
install(TARGETS quorvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT quorvane)
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return() # docs/windows.md: windeployqt gathers the rest there
endif()

install(FILES ${packaging}/quorvane.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT quorvane)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${packaging}/icons/quorvane-${size}.png RENAME quorvane.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps COMPONENT quorvane)
endforeach()
install(FILES ${packaging}/udev/70-quorvane.rules DESTINATION ${QUORVANE_UDEV_RULES_DIR} COMPONENT quorvane)
# What software centres show (AppStream), beside the desktop entry it names.
install(FILES ${packaging}/invalid.quorvane.Quorvane.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT quorvane)

install(TARGETS quorvane-devsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT devsim)

# Each package's manual page, and the copyright and Debian changelog in its own doc folder,
# compressed as Debian keeps them: gzip at its best, without the name and time stamp
# (-9n), so that the same sources give the same package.
set(packaging_gz)
foreach(pair man/quorvane.1:quorvane.1 man/quorvane-devsim.1:quorvane-devsim.1 debian/changelog:changelog.Debian)
  string(REPLACE ":" ";" pair ${pair})
  list(GET pair 0 source)
  list(GET pair 1 name)
  set(gz ${CMAKE_CURRENT_BINARY_DIR}/packaging/${name}.gz)
  add_custom_command(OUTPUT ${gz}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/packaging
                     COMMAND gzip -9n -c ${packaging}/${source} > ${gz}
                     DEPENDS ${packaging}/${source} VERBATIM)
  list(APPEND packaging_gz ${gz})
endforeach()
add_custom_target(quorvane_packaging_gz ALL DEPENDS ${packaging_gz})
set(gz_dir ${CMAKE_CURRENT_BINARY_DIR}/packaging)
install(FILES ${gz_dir}/quorvane.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT quorvane)
install(FILES ${gz_dir}/quorvane-devsim.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT devsim)
foreach(component quorvane devsim)
  set(package quorvane)
  if(component STREQUAL "devsim")
    set(package quorvane-devsim)
  endif()
  install(FILES ${packaging}/debian/copyright ${gz_dir}/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
  install(FILES ${packaging}/debian/lintian-overrides/${package}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides COMPONENT ${component})
endforeach()

# One .deb per component: quorvane_VERSION-1_ARCH.deb and quorvane-devsim_VERSION-1_ARCH.deb.
# dpkg-shlibdeps finds the libraries' packages (Qt 5, libusb-1.0, umockdev's library);
# what it cannot see is named here: the fonts the window draws its texts with, and the
# preload library through which the simulator emulates devices.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VENDOR Quorvane)
set(CPACK_PACKAGE_CONTACT "Quorvane developers <developers@quorvane.invalid>")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL quorvane devsim)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)

set(CPACK_DEBIAN_QUORVANE_PACKAGE_NAME quorvane)
set(CPACK_DEBIAN_QUORVANE_PACKAGE_DEPENDS "fonts-wqy-microhei, fonts-dejavu-extra")
set(CPACK_COMPONENT_QUORVANE_DESCRIPTION
    "Shows the network-access licence label of a cellular device\n\
Once a second the tool looks for a cellular device on a USB serial port, as a\n\
raw USB bulk device, and at fixed addresses on whatever network the workstation\n\
is on: 192.168.0.1 port 9527, and 192.168.2.1 and 192.168.10.1 port 3762, where\n\
it logs in. It reads the device's licence text and shows the picture of its\n\
model's licence label with the text over it.\n\
\n\
Of the USB devices it opens only the licence devices it knows by their IDs\n\
(four built in, more with --usb-id). The udev rules let the user at the seat\n\
open those four and the port of a CH340 USB serial converter, keep\n\
ModemManager away from them, and give the port the description the tool looks\n\
for. Other serial devices and USB licence devices need their IDs filled into a\n\
copy of the rules, which holds templates for them.")
set(CPACK_DEBIAN_DEVSIM_PACKAGE_NAME quorvane-devsim)
set(CPACK_DEBIAN_DEVSIM_PACKAGE_DEPENDS "umockdev")
set(CPACK_DEBIAN_DEVSIM_PACKAGE_RECOMMENDS "imagemagick")
set(CPACK_DEBIAN_DEVSIM_PACKAGE_SECTION devel)
set(CPACK_COMPONENT_DEVSIM_DESCRIPTION
    "Emulated devices for trying out Quorvane\n\
quorvane-devsim presents emulated serial ports and USB devices through umockdev\n\
and network services on the device addresses, and runs a program under them.\n\
Use it only inside a private network namespace.")
include(CPack)

# The install itself, into a staging folder: files, places, rules syntax, desktop entry.
if(BUILD_TESTING)
  add_test(NAME tst_install
           COMMAND ${PROJECT_SOURCE_DIR}/tests/install/check-install.sh ${PROJECT_BINARY_DIR}
                   ${CMAKE_CURRENT_BINARY_DIR}/tmp-tst_install)
  set_tests_properties(tst_install PROPERTIES LABELS install TIMEOUT 120)
endif()
