# Installing the libraries for other projects: each installed crate becomes the exported
# target Tallowmere::<name> of the CMake package "Tallowmere" (with a version file) and
# has a pkg-config file of its own. Headers go to <includedir>/tallowmere/<crate>/.
include(CMakePackageConfigHelpers)

set(TALLOWMERE_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/Tallowmere")
set(TALLOWMERE_PKGCONFIG_DIR "${CMAKE_INSTALL_LIBDIR}/pkgconfig")

# tallowmere_install_library(TARGET EXPORT_NAME DESCRIPTION ... [REQUIRES ...] [CFLAGS ...]
#                            [LIBS ...]): installs TARGET's library file and its include/
# folder, exports it as Tallowmere::EXPORT_NAME and writes TARGET.pc. REQUIRES names the
# pkg-config modules it depends on; CFLAGS and LIBS are added to the .pc file.
function(tallowmere_install_library target export_name)
  cmake_parse_arguments(ARG "" "DESCRIPTION" "REQUIRES;CFLAGS;LIBS" ${ARGN})
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${export_name})
  add_library(Tallowmere::${export_name} ALIAS ${target})
  install(TARGETS ${target} EXPORT TallowmereTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

  # The .pc file finds its prefix from its own folder, so the installed tree may move.
  file(RELATIVE_PATH pc_prefix_from_pcdir
    "${CMAKE_INSTALL_PREFIX}/${TALLOWMERE_PKGCONFIG_DIR}" "${CMAKE_INSTALL_PREFIX}")
  string(REGEX REPLACE "/$" "" pc_prefix_from_pcdir "${pc_prefix_from_pcdir}")
  set(pc_name ${target})
  set(pc_description "${ARG_DESCRIPTION}")
  list(JOIN ARG_REQUIRES " " pc_requires)
  set(pc_cflags "")
  foreach(flag ${ARG_CFLAGS})
    string(APPEND pc_cflags " ${flag}")
  endforeach()
  set(pc_libs "")
  foreach(flag ${ARG_LIBS})
    string(APPEND pc_libs " ${flag}")
  endforeach()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/tallowmere.pc.in
    ${PROJECT_BINARY_DIR}/pkgconfig/${target}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/${target}.pc
    DESTINATION ${TALLOWMERE_PKGCONFIG_DIR})
endfunction()

# The package's config, version and targets files, and the licence.
function(tallowmere_install_package)
  install(EXPORT TallowmereTargets NAMESPACE Tallowmere::
    FILE TallowmereTargets.cmake DESTINATION ${TALLOWMERE_CMAKE_DIR})
  configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/TallowmereConfig.cmake.in
    ${PROJECT_BINARY_DIR}/TallowmereConfig.cmake INSTALL_DESTINATION ${TALLOWMERE_CMAKE_DIR})
  # 0.x releases are compatible within a minor version only.
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/TallowmereConfigVersion.cmake
    COMPATIBILITY SameMinorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/TallowmereConfig.cmake
    ${PROJECT_BINARY_DIR}/TallowmereConfigVersion.cmake DESTINATION ${TALLOWMERE_CMAKE_DIR})
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md
    ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/tallowmere)
endfunction()
