# Where a Linux program goes (GNUInstallDirs): the program in bin/, its documentation, the bundled
# sample and the Debian copyright and changelog in share/doc/pcmconv/, the manual pages in
# share/man/man1/ and share/man/ja/man1/. And the Debian package: `cpack --preset deb`.
include(GNUInstallDirs)
install(TARGETS pcmconv RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES README.md LICENSE cmake/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES examples/tone.pcm DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

# Compressed as Debian has them, with no name or time in the gzip header: the same bytes from
# every build.
set(gzipped)
foreach(source pcmconv.1 pcmconv.ja.1 cmake/debian/changelog)
  get_filename_component(name ${source} NAME)
  add_custom_command(OUTPUT ${name}.gz
    COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${CMAKE_SOURCE_DIR}/${source} ${name}.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/${source} VERBATIM)
  list(APPEND gzipped ${CMAKE_BINARY_DIR}/${name}.gz)
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${gzipped})
install(FILES ${CMAKE_BINARY_DIR}/pcmconv.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/pcmconv.ja.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1 RENAME pcmconv.1.gz)
# 1.00-1 has a Debian revision: its changelog is the Debian one.
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME changelog.Debian.gz)

set(CPACK_PACKAGE_NAME pcmconv)
set(CPACK_PACKAGE_VERSION 1.00)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "The pcmconv authors <maintainers@users.noreply.c-seed-70e6b31f.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# libc6 and, where the line editor is built, libedit2: read from the program by dpkg-shlibdeps.
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
