# What `cmake --install` puts under the prefix, and the packages that cpack
# builds from it (scripts/package). Nothing goes into the fixed paths that
# the command reads: those belong to the statistics service and the panel.
include(GNUInstallDirs)

install(TARGETS vorlane-top RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The man page, from its scdoc source, where scdoc is installed.
find_program(VT_SCDOC scdoc)
if(VT_SCDOC)
  set(man_page ${PROJECT_BINARY_DIR}/vorlane-top.1.gz)
  add_custom_command(OUTPUT ${man_page}
    COMMAND sh -c "'${VT_SCDOC}' < '${PROJECT_SOURCE_DIR}/docs/vorlane-top.1.scd' | gzip -9n > '${man_page}'"
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/vorlane-top.1.scd
    VERBATIM)
  add_custom_target(vt_man_page ALL DEPENDS ${man_page})
  install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "scdoc not found: the man page is neither built nor installed")
endif()

install(FILES completions/vorlane-top.bash DESTINATION share/bash-completion/completions
        RENAME vorlane-top)
install(FILES completions/_vorlane-top DESTINATION share/zsh/site-functions)
install(FILES completions/vorlane-top.fish DESTINATION share/fish/vendor_completions.d)

set(changelog ${PROJECT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND sh -c "gzip -9n < '${PROJECT_SOURCE_DIR}/packaging/changelog' > '${changelog}'"
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
  VERBATIM)
add_custom_target(vt_changelog ALL DEPENDS ${changelog})
install(FILES README.md docs/helpers.md packaging/copyright ${changelog}
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY docs/schema/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/schema FILES_MATCHING
        PATTERN "*.schema.json")

set(CPACK_GENERATOR "DEB;RPM")
set(CPACK_PACKAGE_NAME vorlane-top)
set(CPACK_PACKAGE_VENDOR "The vorlane-top authors")
set(CPACK_PACKAGE_CONTACT "The vorlane-top authors <maintainers@vorlane-top.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "resource usage of the accounts of a shared-hosting server")
set(CPACK_PACKAGE_DESCRIPTION
    "vorlane-top prints, as one JSON document, the current CPU, I/O, IOPS,
entry-process, process and memory usage and limits of the accounts of a
shared-hosting server, highest consumers first, with their MySQL usage,
limits and restrictions, their domains and resellers. Root sees every
account, a reseller his own accounts, any other user his own record.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_PACKAGE_RELEASE 1)
set(CPACK_RPM_PACKAGE_LICENSE MIT)
set(CPACK_RPM_PACKAGE_GROUP "Applications/System")
set(CPACK_RPM_PACKAGE_AUTOREQ ON)
set(CPACK_RPM_PACKAGE_AUTOPROV OFF)
# The package holds the installed files and nothing else: no build-id links,
# and none of the shared directories that other packages own.
set(CPACK_RPM_SPEC_MORE_DEFINE "%define _build_id_links none")
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
    /usr/share/man /usr/share/man/man1 /usr/share/bash-completion
    /usr/share/bash-completion/completions /usr/share/zsh /usr/share/zsh/site-functions
    /usr/share/fish /usr/share/fish/vendor_completions.d)
include(CPack)
