# Where `cmake --install` puts things (GNUInstallDirs) and what `cpack -G DEB`
# makes of them. Included by the top-level CMakeLists.txt before the folders
# that add install rules; velkaron-pack's rules are its component "cli", the reader
# library's (reader/) its component "reader".
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME velkaron-pack)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Velkaron developers <noreply@velkaron.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "packs a folder tree into one packet file, lists, verifies and extracts packets")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "velkaron-pack is the command line of Velkaron. It packs a folder, with"
  "everything below it, into one packet file: a 64-byte text header, the raw"
  "contents of every file, then a plain-text index with a line per folder and"
  "per file. It also lists, verifies and extracts such packets.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The package is the command line alone: the reader library (component "reader") is
# for developers, who install it with `cmake --install`.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL cli)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)

# velkaron_install_gzipped(FILE DESTINATION COMPONENT): installs FILE compressed as
# Debian wants its manual pages and changelogs (gzip -9n: no name, no time in it).
function(velkaron_install_gzipped file destination component)
  get_filename_component(name ${file} NAME)
  set(copy ${CMAKE_BINARY_DIR}/gzipped/${name})
  add_custom_command(OUTPUT ${copy}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${file} ${copy}
    COMMAND gzip -9nf ${copy}
    DEPENDS ${file}
    COMMENT "Compressing ${name}")
  add_custom_target(velkaron_gzip_${name} ALL DEPENDS ${copy}.gz)
  install(FILES ${copy}.gz DESTINATION ${destination} COMPONENT ${component})
endfunction()

# The Debian package's own documents: its copyright file and its changelog (dated
# SOURCE_DATE_EPOCH where it is set, as the package's files are).
if(NOT WIN32)
  set(velkaron_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_PACKAGE_NAME})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/deb/copyright DESTINATION ${velkaron_doc_dir} COMPONENT cli)
  string(TIMESTAMP VELKARON_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/deb/changelog.in ${CMAKE_BINARY_DIR}/deb/changelog @ONLY)
  velkaron_install_gzipped(${CMAKE_BINARY_DIR}/deb/changelog ${velkaron_doc_dir} cli)
endif()

# CPack writes its configuration into the top build folder: as a part of another
# project, that folder and its package are the other project's.
if(PROJECT_IS_TOP_LEVEL)
  include(CPack)
endif()
