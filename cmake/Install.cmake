# What `cmake --install` puts under the prefix, and the packages that cpack
# builds from it (scripts/package). Nothing goes into the fixed paths that
# the command reads: those belong to the statistics service and the panel.
include(GNUInstallDirs)

# The commands: vorlane-top; vorlane-top-metrics, which writes the metrics
# file for node_exporter; vorlane-top-live, the terminal view. Each has a
# man page and completions.
set(commands vorlane-top vorlane-top-metrics vorlane-top-live)
install(TARGETS ${commands} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The man pages, from their scdoc sources, where scdoc is installed.
find_program(VT_SCDOC scdoc)
if(VT_SCDOC)
  foreach(command IN LISTS commands)
    set(source ${PROJECT_SOURCE_DIR}/docs/${command}.1.scd)
    set(man_page ${PROJECT_BINARY_DIR}/${command}.1.gz)
    add_custom_command(OUTPUT ${man_page}
      COMMAND sh -c "'${VT_SCDOC}' < '${source}' | gzip -9n > '${man_page}'"
      DEPENDS ${source}
      VERBATIM)
    add_custom_target(vt_man_page_${command} ALL DEPENDS ${man_page})
    install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
else()
  message(STATUS "scdoc not found: the man pages are neither built nor installed")
endif()

# zsh reads packaged completions from site-functions, except Debian's zsh,
# which reads vendor-completions instead. The files that only the .deb holds
# are the component "deb", which a plain install leaves out; the .deb leaves
# out the component "zsh" in exchange (packaging/cpack-generators.cmake).
set(VT_ZSH_COMPLETION_DIR ${CMAKE_INSTALL_DATADIR}/zsh/site-functions CACHE STRING
    "Where `cmake --install` and the RPM put the zsh completion")
foreach(command IN LISTS commands)
  install(FILES completions/${command}.bash
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME ${command})
  install(FILES completions/${command}.fish DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
  install(FILES completions/_${command} DESTINATION ${VT_ZSH_COMPLETION_DIR} COMPONENT zsh)
  install(FILES completions/_${command} DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions
          COMPONENT deb EXCLUDE_FROM_ALL)
endforeach()

# lintian's word that ncurses is linked into the live view on purpose.
install(FILES packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME vorlane-top COMPONENT deb EXCLUDE_FROM_ALL)

# The timer and service that write the metrics file every minute, enabled by
# nothing, and the alerting rules for Prometheus. systemd reads packaged units
# from lib/systemd/system under /usr, whatever the libdir. The service names
# the installed command, so it is written at install time, for that install's
# prefix: the one given to `cmake --install`, or /usr, where cpack installs.
if(IS_ABSOLUTE ${CMAKE_INSTALL_BINDIR})
  set(unit_bindir ${CMAKE_INSTALL_BINDIR})
else()
  set(unit_bindir "\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}")
endif()
set(service ${PROJECT_BINARY_DIR}/vorlane-top-metrics.service)
install(CODE "set(VT_BINDIR \"${unit_bindir}\")
  configure_file(\"${PROJECT_SOURCE_DIR}/packaging/systemd/vorlane-top-metrics.service.in\"
                 \"${service}\" @ONLY)")
install(FILES ${service} packaging/systemd/vorlane-top-metrics.timer DESTINATION lib/systemd/system)
# The alerting rules: per server, and per account for those who want them;
# Alertmanager's inhibition rules for them, and the runbook that their
# alerts link to. Prometheus names the rule files where they are, so an
# upgrade brings their new version.
install(FILES packaging/prometheus/vorlane-top.rules.yml
              packaging/prometheus/vorlane-top-accounts.rules.yml
              packaging/prometheus/vorlane-top.inhibit.yml docs/runbook.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/vorlane-top/prometheus)
# node_exporter's web configuration (TLS and a password), for /etc/prometheus.
install(FILES packaging/prometheus/node-exporter-web.yml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/vorlane-top/prometheus)

# The contracts that other programs are written against.
install(FILES docs/helpers.md DESTINATION ${CMAKE_INSTALL_DATADIR}/vorlane-top)
install(DIRECTORY docs/schema/ DESTINATION ${CMAKE_INSTALL_DATADIR}/vorlane-top/schema
        FILES_MATCHING PATTERN "*.schema.json")

set(changelog ${PROJECT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND sh -c "gzip -9n < '${PROJECT_SOURCE_DIR}/packaging/changelog' > '${changelog}'"
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
  VERBATIM)
add_custom_target(vt_changelog ALL DEPENDS ${changelog})
install(FILES README.md ${changelog} LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The licences of everything the commands hold: packaging/copyright names
# each part and its licence, and the long texts it refers to are installed
# too, since only Debian has them in /usr/share/common-licenses.
install(FILES packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES packaging/licenses/Apache-2.0 packaging/licenses/GPL-3 packaging/licenses/LGPL-2.1
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/licenses)

set(CPACK_GENERATOR "DEB;RPM")
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/packaging/cpack-generators.cmake)
set(CPACK_PACKAGE_NAME vorlane-top)
set(CPACK_PACKAGE_VENDOR "The vorlane-top authors")
set(CPACK_PACKAGE_CONTACT "The vorlane-top authors <maintainers@vorlane-top.invalid>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://vorlane-top.invalid/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Resource usage of the accounts of a shared-hosting server")
set(CPACK_PACKAGE_DESCRIPTION
    "vorlane-top prints, as one JSON document, the current CPU, I/O, IOPS,
entry-process, process and memory usage and limits of the accounts of a
shared-hosting server, highest consumers first, with their MySQL usage,
limits and restrictions, their domains and resellers. Root sees every
account, a reseller his own accounts, any other user his own record.
vorlane-top-live shows the same figures in a terminal, refreshed every
few seconds, or as plain text tables.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_PACKAGE_RELEASE 1)
# One term per licence of packaging/copyright's stanzas (tests/package/licences
# checks that each is here): this project and nlohmann-json, simdjson, CLI11,
# GCC's runtime, glibc's start files and header wrappers, and the terminal
# view's ncurses (SPDX names its licence for the words "distribute with
# modifications").
set(CPACK_RPM_PACKAGE_LICENSE
    "MIT AND Apache-2.0 AND BSD-3-Clause AND GPL-3.0-or-later WITH GCC-exception-3.1 AND LGPL-2.1-or-later AND X11-distribute-modifications-variant")
# Else the RPM's description would be CPack's placeholder text.
set(CPACK_RPM_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
# cpack always writes a Group tag; "Unspecified" is what rpm records for a
# package without one, so the RPM comes out as if the tag were not there.
set(CPACK_RPM_PACKAGE_GROUP Unspecified)
set(CPACK_RPM_PACKAGE_AUTOREQ ON)
set(CPACK_RPM_PACKAGE_AUTOPROV OFF)
# The licences stay installed where documentation is left out (--excludedocs).
set(rpm_docdir ${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_DOCDIR})
set(CPACK_RPM_USER_FILELIST
    "%doc ${rpm_docdir}/README.md" "%doc ${rpm_docdir}/changelog.gz" "%license ${rpm_docdir}/LICENSE"
    "%license ${rpm_docdir}/copyright" "%license ${rpm_docdir}/licenses/Apache-2.0"
    "%license ${rpm_docdir}/licenses/GPL-3" "%license ${rpm_docdir}/licenses/LGPL-2.1")
# The package holds the installed files and nothing else: no build-id links,
# and none of the shared directories that other packages own. rpm takes the
# Packager tag from the macro.
set(CPACK_RPM_SPEC_MORE_DEFINE "%define _build_id_links none
%define packager ${CPACK_PACKAGE_CONTACT}")
set(shared_dirs ${CMAKE_INSTALL_MANDIR} ${CMAKE_INSTALL_MANDIR}/man1
    ${CMAKE_INSTALL_DATADIR}/bash-completion ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    ${CMAKE_INSTALL_DATADIR}/zsh ${VT_ZSH_COMPLETION_DIR}
    ${CMAKE_INSTALL_DATADIR}/fish ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d
    lib/systemd lib/systemd/system)
list(TRANSFORM shared_dirs PREPEND ${CPACK_PACKAGING_INSTALL_PREFIX}/
     OUTPUT_VARIABLE CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION)
include(CPack)
