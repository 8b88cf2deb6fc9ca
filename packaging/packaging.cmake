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

install(TARGETS quorvane-devsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT devsim)

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
Finds a device on a USB serial port, as a raw USB bulk device or at its fixed\n\
address on the local network, reads its licence text and shows the picture of\n\
its model's licence label with the text over it. Installs udev rules that give\n\
the user at the seat access to the device and keep ModemManager away from it.")
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
