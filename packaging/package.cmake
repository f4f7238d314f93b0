# `make package`: Debian packages built by CPack from the install rules.
#   tovik      the program, the window library it loads (Qt 5), its desktop entry, AppStream
#              description, icons and manual page
#   tovik-qt6  the same window library built against Qt 6, which nothing installed loads; kept
#              apart, so that the program does not pull in the Qt 6 libraries
# Dependencies are read from the binaries by dpkg-shlibdeps; the version is the project's.

# The targets that the packages and `make install` take. Installing builds nothing first (the
# tests and benchmarks, which are never installed, would come along with all), so `make package`
# and `make install` build this target and then install.
add_custom_target(tovik_packaged)
add_dependencies(tovik_packaged tovik_program tovik tovik6)
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(TOVIK_MAINTAINER "Linara maintainers <maintainers@linara.example>")

# Every Debian package carries its copyright and its changelog, the changelog compressed
# (-n: no name or time stamp inside, so two builds give the same bytes).
set(tovik_package_docs "${PROJECT_BINARY_DIR}/package-docs")
configure_file("${CMAKE_CURRENT_LIST_DIR}/changelog" "${tovik_package_docs}/changelog" COPYONLY)
execute_process(COMMAND gzip -9nf changelog WORKING_DIRECTORY "${tovik_package_docs}" COMMAND_ERROR_IS_FATAL ANY)
set(tovik_package_doc_files "${CMAKE_CURRENT_LIST_DIR}/copyright" "${tovik_package_docs}/changelog.gz")
install(FILES ${tovik_package_doc_files} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tovik COMPONENT program)
install(FILES ${tovik_package_doc_files} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tovik-qt6 COMPONENT qt6)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tovik)
set(CPACK_PACKAGE_VENDOR "The Linara developers")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${TOVIK_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# A umask of the builder's must not reach the package's folders.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL program qt6)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TOVIK_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME tovik)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PROGRAM_DESCRIPTION "compare two text files as sets of lines
Linara loads two text files into two panes and lists the lines both share
and the lines found in only one of them, each tagged with its file. Letter
case and blanks count; files in UTF-8, UTF-16, UTF-32 or a legacy 8-bit
encoding compare by their text. The lists print, or save as text, CSV, HTML
or an Excel workbook.")

set(CPACK_DEBIAN_QT6_PACKAGE_NAME tovik-qt6)
set(CPACK_DEBIAN_QT6_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_QT6_DESCRIPTION "Linara's window library built against Qt 6
The same window library as in the tovik package, built against Qt 6 instead
of Qt 5. The tovik program loads the Qt 5 build and does not need this one.")

include(CPack)
