# Where a Linux program goes (GNUInstallDirs): the program in bin/, its documentation and the
# bundled sample in share/doc/pcmconv/, the manual pages in share/man/man1/ and
# share/man/ja/man1/. And the Debian package, `cpack --preset deb`, which alone adds Debian's
# copyright and changelog.
include(GNUInstallDirs)
install(TARGETS pcmconv RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES README.md README.ja.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PCMCONV_GUIDES} DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
install(FILES examples/tone.pcm DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

# A new version needs its changelog entry first.
file(STRINGS cmake/debian/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^pcmconv \\(${PCMCONV_VERSION}-[0-9]+\\) ")
  message(FATAL_ERROR "cmake/debian/changelog has no entry for version ${PCMCONV_VERSION} at its top")
endif()

# The manual pages take the version, and the day of the changelog's top entry, the release's one
# date; compressed as Debian has them, with no name or time in the gzip header: the same bytes from
# every build.
file(STRINGS cmake/debian/changelog changelog_signoff REGEX "^ -- " LIMIT_COUNT 1)
string(REGEX MATCH "([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9])" day "${changelog_signoff}")
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND months "${CMAKE_MATCH_2}" month)
math(EXPR month "${month} + 101")
string(SUBSTRING ${month} 1 2 month)
set(PCMCONV_DATE ${CMAKE_MATCH_3}-${month}-${CMAKE_MATCH_1})
configure_file(docs/pcmconv.1.in pcmconv.1 @ONLY)
configure_file(docs/pcmconv.ja.1.in pcmconv.ja.1 @ONLY)
set(gzipped)
foreach(source ${CMAKE_BINARY_DIR}/pcmconv.1 ${CMAKE_BINARY_DIR}/pcmconv.ja.1 ${CMAKE_SOURCE_DIR}/cmake/debian/changelog)
  get_filename_component(name ${source} NAME)
  add_custom_command(OUTPUT ${name}.gz
    COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${source} ${name}.gz
    DEPENDS ${source} VERBATIM)
  list(APPEND gzipped ${CMAKE_BINARY_DIR}/${name}.gz)
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${gzipped})
install(FILES ${CMAKE_BINARY_DIR}/pcmconv.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/pcmconv.ja.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1 RENAME pcmconv.1.gz)
# Debian's files belong to the package alone: a component that `cmake --install` leaves out.
install(FILES cmake/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian EXCLUDE_FROM_ALL)
# The version has a Debian revision: its changelog is the Debian one.
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME changelog.Debian.gz
        COMPONENT debian EXCLUDE_FROM_ALL)

set(CPACK_PACKAGE_NAME pcmconv)
set(CPACK_PACKAGE_VERSION ${PCMCONV_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Both components in one package.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Unspecified debian)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_PACKAGE_CONTACT "The pcmconv authors <maintainers@users.noreply.c-seed-70e6b31f.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# libc6 and, where the line editor is built, libedit2: read from the program by dpkg-shlibdeps,
# which needs the `file` program.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "interactive converter of PCM data files into WAV files")
set(CPACK_PACKAGE_DESCRIPTION
  "A console program that asks for the full path of a PCM data file and\n"
  "of the WAV file to write, makes the missing folders of the output\n"
  "path, writes a 44-byte RIFF/WAVE header assembled from the input's own\n"
  "header and copies the samples unchanged. It reports the outcome in one\n"
  "line and in its exit status. Prompts and messages are Japanese.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
include(CPack)
