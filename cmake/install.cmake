# The developer's kit under an install prefix (cmake --install):
#   include/             ktz3649.h, ktz3649_driverproc.h, ktz3649_driver.h,
#                        ktz3649sim.h; on the host include/hostwin/ with the
#                        Win32 subset that ktz3649.h compiles against
#   lib/                 libktz3649.so, libhostwin.so and the lab's
#                        libktz3649s.so (found beside libhostwin by its
#                        service manager) | Ktz3649.lib, Ktz3649Sim.lib
#   bin/                 ktz3649 (the panel on the lab) | Ktz3649.dll and
#                        ktz3649.exe (the panel for a card)
#   lab/                 Windows: the lab for Wine, KTZ3649S.SYS,
#                        Ktz3649Sim.dll, ktz3649.exe with the lab and a copy
#                        of Ktz3649.dll, so that the folder runs as it is
#   lib/cmake/Ktz3649/   the CMake package: Ktz3649::ktz3649, Ktz3649::lab
#   lib/pkgconfig/       ktz3649.pc, ktz3649-lab.pc
#   share/ktz3649/examples/  the examples' sources with their CMakeLists.txt
# Components: kit, and lab for the lab's pieces. Relocatable: the package
# and the .pc files find the prefix from where they lie, and the libraries
# and programs find each other through $ORIGIN.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KTZ_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Ktz3649)
set(KTZ_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(FILES include/ktz3649.h include/ktz3649_driverproc.h include/ktz3649_driver.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT kit)
install(FILES include/ktz3649sim.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT lab)
install(DIRECTORY examples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/ktz3649/examples
        COMPONENT kit PATTERN tests.cmake EXCLUDE)

set(KTZ_LAB_DIR lab)
if(WIN32)
  set(KTZ_PACKAGE_HOSTWIN OFF)
  # Ktz3649.lib: the import library made from the .def (src/CMakeLists.txt).
  install(TARGETS ktz3649 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT kit
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT kit)
  install(TARGETS ktz3649_card RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT kit)
  install(TARGETS ktz3649sim RUNTIME DESTINATION ${KTZ_LAB_DIR} COMPONENT lab
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT lab)
  install(TARGETS ktz3649_tool RUNTIME DESTINATION ${KTZ_LAB_DIR} COMPONENT lab)
  install(FILES $<TARGET_FILE:ktz3649s_sys> $<TARGET_FILE:ktz3649> DESTINATION ${KTZ_LAB_DIR}
          COMPONENT lab)
else()
  set(KTZ_PACKAGE_HOSTWIN ON)
  install(FILES
    hostwin/include/windows.h hostwin/include/winsvc.h hostwin/include/winuser.h
    hostwin/include/winioctl.h hostwin/include/hostwin.h hostwin/include/hostwin_ui.h
    hostwin/include/setupapi.h hostwin/include/commctrl.h hostwin/include/prsht.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/hostwin COMPONENT kit)
  # Each library finds its neighbours in its own folder, the panel in lib/.
  file(RELATIVE_PATH bin_to_lib ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}
       ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR})
  set_target_properties(ktz3649 hostwin simdrv PROPERTIES INSTALL_RPATH "$ORIGIN")
  set_target_properties(ktz3649_tool PROPERTIES INSTALL_RPATH "$ORIGIN/${bin_to_lib}")
  install(TARGETS ktz3649 hostwin LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT kit)
  install(TARGETS simdrv LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT lab)
  install(TARGETS ktz3649_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT lab)
endif()

# The CMake package and the pkg-config files, relative to their own folders.
configure_package_config_file(cmake/Ktz3649Config.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/package/Ktz3649Config.cmake
  INSTALL_DESTINATION ${KTZ_PACKAGE_DIR}
  PATH_VARS CMAKE_INSTALL_INCLUDEDIR CMAKE_INSTALL_LIBDIR CMAKE_INSTALL_BINDIR)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/package/Ktz3649ConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/package/Ktz3649Config.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/package/Ktz3649ConfigVersion.cmake
        DESTINATION ${KTZ_PACKAGE_DIR} COMPONENT kit)

file(RELATIVE_PATH KTZ_PC_PREFIX ${CMAKE_INSTALL_PREFIX}/${KTZ_PKGCONFIG_DIR}
     ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" KTZ_PC_PREFIX "${KTZ_PC_PREFIX}")
if(KTZ_PACKAGE_HOSTWIN)
  set(KTZ_PC_CFLAGS "-I\${includedir} -I\${includedir}/hostwin")
  set(KTZ_PC_LIBS "-L\${libdir} -lktz3649 -lhostwin")
  set(KTZ_PC_LAB_LIBS "-L\${libdir} -lktz3649s")
else()
  set(KTZ_PC_CFLAGS "-I\${includedir}")
  set(KTZ_PC_LIBS "-L\${libdir} -lKtz3649")
  set(KTZ_PC_LAB_LIBS "-L\${libdir} -lKtz3649Sim")
endif()
foreach(pc ktz3649 ktz3649-lab)
  configure_file(cmake/${pc}.pc.in ${CMAKE_CURRENT_BINARY_DIR}/package/${pc}.pc @ONLY)
endforeach()
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/package/ktz3649.pc DESTINATION ${KTZ_PKGCONFIG_DIR}
        COMPONENT kit)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/package/ktz3649-lab.pc
        DESTINATION ${KTZ_PKGCONFIG_DIR} COMPONENT lab)
