# Installation layout and the Debian package.
#
# Every executable and shared library that builds into build/bin is installed
# side by side in one program folder, ${prefix}/lib/tessellon/Tsl3, as the
# Windows program sits in its own folder; the operator programs are linked
# from ${prefix}/sbin. The deliverables are collected when the whole tree has
# been read, so a new one (the console, the scheduler) is installed and
# packaged without a rule of its own. The machine root and its data are made
# by the installation script the package runs, never by the package's files.

function(kv_collect_targets directory out)
  get_property(targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirectories DIRECTORY ${directory} PROPERTY SUBDIRECTORIES)
  foreach(subdirectory ${subdirectories})
    kv_collect_targets(${subdirectory} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

function(kv_install_deliverables)
  kv_collect_targets(${CMAKE_SOURCE_DIR} targets)
  set(deliverables)
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
      get_target_property(folder ${target} RUNTIME_OUTPUT_DIRECTORY)
    elseif(type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "MODULE_LIBRARY")
      get_target_property(folder ${target} LIBRARY_OUTPUT_DIRECTORY)
    else()
      continue()
    endif()
    # Tests, fixtures and build tools have folders of their own.
    if(NOT folder STREQUAL KV_BIN_DIR)
      continue()
    endif()
    list(APPEND deliverables ${target})
    install(TARGETS ${target}
      RUNTIME DESTINATION ${KV_INSTALL_PROGRAM_DIR}
      LIBRARY DESTINATION ${KV_INSTALL_PROGRAM_DIR})
    if(type STREQUAL "EXECUTABLE")
      get_target_property(name ${target} OUTPUT_NAME)
      if(NOT name)
        set(name ${target})
      endif()
      install(CODE "
        set(sbin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_SBINDIR}\")
        file(MAKE_DIRECTORY \"\${sbin}\")
        file(CREATE_LINK \"../${KV_INSTALL_PROGRAM_DIR}/${name}\" \"\${sbin}/${name}\" SYMBOLIC)
        message(STATUS \"Linking: \${sbin}/${name}\")")
    endif()
  endforeach()
  # What an installation needs, without the tests and benchmarks.
  add_custom_target(deliverables DEPENDS ${deliverables})
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL kv_install_deliverables)

# Folders a deliverable keeps beside it in build/bin (the console's web
# pages, say) go along as they are at installation time.
install(CODE "
  file(GLOB entries LIST_DIRECTORIES true \"${KV_BIN_DIR}/*\")
  foreach(entry \${entries})
    if(IS_DIRECTORY \"\${entry}\")
      file(INSTALL \"\${entry}\" DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${KV_INSTALL_PROGRAM_DIR}\" USE_SOURCE_PERMISSIONS)
    endif()
  endforeach()")

# The installation script and its parts, beside the program folder; run
# from there, it installs that folder.
install(PROGRAMS ${CMAKE_SOURCE_DIR}/scripts/install.sh DESTINATION lib/tessellon/scripts)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/scripts/install.d/ DESTINATION lib/tessellon/scripts/install.d
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/services.sh DESTINATION lib/tessellon/scripts)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessellon)
set(CPACK_PACKAGE_VERSION 3.0.0)
set(CPACK_PACKAGE_CONTACT "Tessellon maintainers <root@localhost>")
set(CPACK_PACKAGE_VENDOR "Tessellon")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "file-integrity monitor: agent service, launcher and operator tools")
set(CPACK_PACKAGE_DESCRIPTION "An agent service checks the drives, folders and files of scan jobs, records size, owner, times, attributes and an MD5 fingerprint of every item in an ODBC database, and reports every added, changed and removed item by e-mail and event records. The package installs the programs into /usr/lib/tessellon/Tsl3, makes the installation under /var/lib/kestrava and starts the agent service.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# What the programs load at run time (the ODBC driver, the database tool of
# the installation) is named here; what they link is found by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "unixodbc, libsqliteodbc, sqlite3, libcurl4, libglib2.0-0")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_SOURCE_DIR}/packaging/postinst
  ${CMAKE_SOURCE_DIR}/packaging/prerm
  ${CMAKE_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
include(CPack)
