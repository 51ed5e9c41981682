# What differs between the packages: cpack reads this once per generator
# (CPACK_PROJECT_CONFIG_FILE), with CPACK_GENERATOR set to it.
if(CPACK_GENERATOR STREQUAL "DEB")
  # Debian's own files (the component "deb", cmake/Install.cmake) instead of
  # the zsh completion in site-functions.
  list(GET CPACK_INSTALL_CMAKE_PROJECTS 0 1 project) # build tree, project name
  set(CPACK_INSTALL_CMAKE_PROJECTS ${project} Unspecified / ${project} deb /)
elseif(CPACK_GENERATOR STREQUAL "RPM")
  # %changelog, from the Debian changelog.
  set(CPACK_RPM_CHANGELOG_FILE ${CPACK_PACKAGE_DIRECTORY}/rpm-changelog)
  execute_process(
    COMMAND awk -v release=${CPACK_RPM_PACKAGE_RELEASE} -f ${CMAKE_CURRENT_LIST_DIR}/rpm-changelog
            ${CMAKE_CURRENT_LIST_DIR}/changelog
    OUTPUT_FILE ${CPACK_RPM_CHANGELOG_FILE}
    COMMAND_ERROR_IS_FATAL ANY)
endif()
