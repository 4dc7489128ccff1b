# Install rules and packages.
#
#   cmake --install <build> --component adapter  --prefix <folder>
#   cmake --install <build> --component standins --prefix <folder>
#
# The adapter component is what ships: the eleven deliverables and the preflight check qvadcheck, the message
# texts, the sample settings and the installer scripts. The stand-ins for the
# outside components are a component of their own, for demos and tests, and
# never part of a package.
#
# On Linux the prefix /opt/qvadnerl gives the system layout: programs in
# /opt/qvadnerl/bin, settings in /etc/opt/qvadnerl, state and results in
# /var/opt/qvadnerl, reached from the install folder through links (see
# cmake/install-layout.cmake). Any other prefix gives one self-contained
# folder, as on Windows.

set(QVAD_DELIVERABLES qvadovevt qvademinv qvadinv qvadaddservice qvaddelservice qvadmsgdllreg
    qvadmsgdllunreg qvadrepini qvademenv qvadrmenv runhidden qvadcheck)
set(QVAD_STANDINS zltgate qvcnsput ovdumpevents ovdwquery fxsend qvadinvhost)

# Version resources (Win32) and QVAD_VERSION for every shipped binary and stand-in.
set(descriptions
  qvadovevt "Network-manager event forwarding service"
  qvademinv "Inventory engine"
  qvadinv "Inventory front library"
  qvadaddservice "Service registration tool"
  qvaddelservice "Service removal tool"
  qvadmsgdllreg "Event source registration tool"
  qvadmsgdllunreg "Event source removal tool"
  qvadrepini "Repository settings tool"
  qvademenv "Environment file tool"
  qvadrmenv "Environment file removal tool"
  runhidden "Hidden command launcher"
  qvadcheck "Preflight check of an install"
  zltgate "Tracer library (stand-in)"
  qvcnsput "Console message library (stand-in)"
  ovdumpevents "Event dump command (stand-in)"
  ovdwquery "Warehouse query command (stand-in)"
  fxsend "File transfer command (stand-in)"
  qvadinvhost "Inventory host (stand-in)")
while(descriptions)
  list(POP_FRONT descriptions target description)
  qvad_version_info(${target} "${description}")
endwhile()
if(WIN32)
  get_property(razmessage_rc GLOBAL PROPERTY QVAD_RAZMESSAGE_RC)
  qvad_version_info(RazMessage "Event log message texts" "#include \"RazMessage.rc\"")
  set_source_files_properties(${CMAKE_BINARY_DIR}/versioninfo/RazMessage.version.rc
    DIRECTORY ${PROJECT_SOURCE_DIR}/outside/razmessage PROPERTIES OBJECT_DEPENDS ${razmessage_rc})
endif()

# The binaries find their libraries beside them only, wherever the folder is.
# CMake rewrites the build's RUNPATH to this one when it installs. Every
# deliverable and stand-in is built on both platforms.
foreach(component adapter standins)
  if(component STREQUAL "adapter")
    set(targets ${QVAD_DELIVERABLES})
  else()
    set(targets ${QVAD_STANDINS})
  endif()
  install(TARGETS ${targets}
    RUNTIME DESTINATION bin COMPONENT ${component}
    LIBRARY DESTINATION bin COMPONENT ${component}
    # Import libraries are for linking, not for running: never installed.
    ARCHIVE DESTINATION lib COMPONENT implib EXCLUDE_FROM_ALL)
endforeach()

set(QVAD_SAMPLE_SETTINGS ${PROJECT_SOURCE_DIR}/samples/RazEvt.ini ${PROJECT_SOURCE_DIR}/samples/RazInv.ini
    ${PROJECT_SOURCE_DIR}/samples/RazSetting.ini)
set(pkg ${PROJECT_SOURCE_DIR}/packaging)

if(WIN32)
  install(TARGETS RazMessage RUNTIME DESTINATION bin COMPONENT adapter
    ARCHIVE DESTINATION lib COMPONENT implib EXCLUDE_FROM_ALL)
  install(FILES ${QVAD_SAMPLE_SETTINGS} DESTINATION etc COMPONENT adapter)
  # The working folders the engine writes into (install.cmd makes them too,
  # for a folder copied without its empty folders).
  install(DIRECTORY DESTINATION var COMPONENT adapter)
  install(DIRECTORY DESTINATION ret COMPONENT adapter)
  install(DIRECTORY DESTINATION tmp/hard COMPONENT adapter)
  install(PROGRAMS ${pkg}/win32/install.cmd ${pkg}/win32/uninstall.cmd DESTINATION . COMPONENT adapter)
  install(FILES ${PROJECT_SOURCE_DIR}/NEWS.md DESTINATION . COMPONENT adapter)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION . COMPONENT adapter)
else()
  install(FILES ${CMAKE_BINARY_DIR}/bin/RazMessage.cat DESTINATION bin COMPONENT adapter)
  install(PROGRAMS ${pkg}/linux/qvadnerl-setup DESTINATION bin COMPONENT adapter)
  install(FILES ${pkg}/linux/registry.reg.template DESTINATION share COMPONENT adapter)
  # Settings, state folders, links and documents depend on the prefix given
  # at install time, so a script places them then.
  install(CODE "set(QVAD_SOURCE_DIR \"${PROJECT_SOURCE_DIR}\")
set(QVAD_SETTINGS \"${QVAD_SAMPLE_SETTINGS}\")" COMPONENT adapter)
  install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/install-layout.cmake COMPONENT adapter)
endif()

# Packages: cmake --build <build> --target package, into <build>/packages.
set(CPACK_PACKAGE_NAME qvadnerl)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "${QVAD_COMPANY}")
set(CPACK_PACKAGE_CONTACT "qvadnerl project <qvadnerl@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "network-manager adapter for an operations suite")
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
# Only the adapter component: a package never carries a stand-in.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};qvadnerl;adapter;/")
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME qvadnerl-${PROJECT_VERSION}-win32-${CMAKE_SYSTEM_PROCESSOR})
else()
  set(CPACK_GENERATOR DEB)
  # Settings and state lie outside the prefix, so the package is built from
  # an install into a staging root at the real prefix.
  set(CPACK_SET_DESTDIR ON)
  set(CPACK_INSTALL_PREFIX /opt/qvadnerl)
  set(CPACK_PACKAGING_INSTALL_PREFIX /opt/qvadnerl)
  execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE deb_arch OUTPUT_STRIP_TRAILING_WHITESPACE
                  ERROR_QUIET)
  if(NOT deb_arch)
    set(deb_arch amd64)
  endif()
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${deb_arch})
  set(CPACK_DEBIAN_FILE_NAME qvadnerl_${PROJECT_VERSION}_${deb_arch}.deb)
  set(CPACK_DEBIAN_PACKAGE_SECTION net)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The summary comes first from CPACK_PACKAGE_DESCRIPTION_SUMMARY; CPack
  # indents these lines.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "The adapter forwards a network manager's events to an operations console
through the service qvadovevt, produces per-node inventories from the
network manager's data warehouse through the libraries qvadinv and
qvademinv, and carries the setup tools and the installer script
qvadnerl-setup that register the service, the event source and the
settings.")
  # The C and C++ runtimes come from shlibdeps; the console library the
  # service links against belongs to the operations suite, not to Debian,
  # so it is looked up among the build's stand-ins and named by no
  # dependency.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS systemd)
  set(deb ${CMAKE_BINARY_DIR}/deb-control)
  foreach(f conffiles postinst prerm postrm)
    configure_file(${pkg}/deb/${f} ${deb}/${f} @ONLY)
  endforeach()
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${deb}/conffiles ${deb}/postinst ${deb}/prerm ${deb}/postrm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()
include(CPack)
