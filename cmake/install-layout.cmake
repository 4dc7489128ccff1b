# Places the adapter's settings, working folders and documents on Linux, at
# install time, after the programs are in <prefix>/bin.
#
# The adapter finds everything through its install folder, two levels above
# the program: settings and the service's state files in <install>/etc, the
# node lists in var/, results in ret/, query files in tmp/hard/.
#
# Prefix /opt/qvadnerl (the package, or a system install by hand):
#   /etc/opt/qvadnerl/          the operator's settings (conffiles of the package)
#   /var/opt/qvadnerl/etc/      the service's state files, beside links to each setting
#   /var/opt/qvadnerl/{var,ret,tmp/hard}/
#   /opt/qvadnerl/{etc,var,ret,tmp} -> /var/opt/qvadnerl/...
# The state files live in a folder of their own under /var because the
# service replaces each one by renaming a new file over it: a link in the
# settings folder would be replaced by a plain file there. The settings are
# only read (RepInfo.ini is written once by the installer, through its link).
#
# Any other prefix: one self-contained folder with etc/, var/, ret/, tmp/hard/.
#
# Settings already present are never overwritten, so installing again keeps
# what the operator changed.

set(prefix "${CMAKE_INSTALL_PREFIX}")
set(destdir "$ENV{DESTDIR}")
set(settings ${QVAD_SETTINGS} ${QVAD_SOURCE_DIR}/packaging/linux/qvadovevt.env)

function(install_missing dest)
  foreach(f ${ARGN})
    get_filename_component(name ${f} NAME)
    if(NOT EXISTS "${destdir}${dest}/${name}")
      file(INSTALL DESTINATION "${dest}" TYPE FILE PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
           FILES ${f})
    else()
      message(STATUS "Kept: ${destdir}${dest}/${name}")
    endif()
  endforeach()
endfunction()

function(make_link target link)
  set(at "${destdir}${link}")
  if(IS_SYMLINK "${at}")
    file(REMOVE "${at}")
  elseif(EXISTS "${at}")
    message(FATAL_ERROR "${at} exists and is not a link; move it away before installing")
  endif()
  message(STATUS "Installing: ${at} -> ${target}")
  file(CREATE_LINK "${target}" "${at}" SYMBOLIC)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${at}")
  set(CMAKE_INSTALL_MANIFEST_FILES "${CMAKE_INSTALL_MANIFEST_FILES}" PARENT_SCOPE)
endfunction()

if(prefix STREQUAL "/opt/qvadnerl")
  set(etc /etc/opt/qvadnerl)
  set(state /var/opt/qvadnerl)
  install_missing(${etc} ${settings})
  foreach(d etc var ret tmp/hard)
    file(MAKE_DIRECTORY "${destdir}${state}/${d}")
  endforeach()
  # RepInfo.ini has no sample: the installer writes it, through its link.
  foreach(f ${settings} RepInfo.ini)
    get_filename_component(name ${f} NAME)
    if(NOT name MATCHES "\\.env$")
      make_link(${etc}/${name} ${state}/etc/${name})
    endif()
  endforeach()
  foreach(d etc var ret tmp)
    make_link(${state}/${d} ${prefix}/${d})
  endforeach()
  # What Debian expects of every package's documents.
  set(doc /usr/share/doc/qvadnerl)
  file(INSTALL DESTINATION ${doc} TYPE FILE FILES ${QVAD_SOURCE_DIR}/packaging/deb/copyright
       ${QVAD_SOURCE_DIR}/NEWS.md ${QVAD_SOURCE_DIR}/README.md)
  file(MAKE_DIRECTORY "${destdir}${doc}")
  execute_process(COMMAND gzip -9nc ${QVAD_SOURCE_DIR}/packaging/deb/changelog
                  OUTPUT_FILE "${destdir}${doc}/changelog.gz" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "gzip failed on the changelog")
  endif()
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${destdir}${doc}/changelog.gz")
  file(INSTALL DESTINATION /usr/share/lintian/overrides TYPE FILE RENAME qvadnerl
       FILES ${QVAD_SOURCE_DIR}/packaging/deb/lintian-overrides)
else()
  install_missing(${prefix}/etc ${QVAD_SETTINGS})
  foreach(d var ret tmp/hard)
    file(MAKE_DIRECTORY "${destdir}${prefix}/${d}")
  endforeach()
endif()
