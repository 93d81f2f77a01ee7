# The Windows release: pcmconv.exe, README.txt (the Windows user's guide, Japanese first), LICENSE.txt
# and the sample tone.pcm, the texts made for Notepad as far back as Windows XP's (UTF-8 with a
# byte-order mark, CR LF line ends). `cmake --install` puts these four into a folder; `--target
# release` makes the zip of them, the same bytes from every build of one commit.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
configure_file(docs/windows-guide.txt.in windows-guide.txt @ONLY)
set(notepad_text ${CMAKE_SOURCE_DIR}/cmake/notepad_text.py)
add_custom_command(OUTPUT README.txt
  COMMAND Python3::Interpreter ${notepad_text} README.txt ${CMAKE_CURRENT_BINARY_DIR}/windows-guide.txt
  DEPENDS ${notepad_text} ${CMAKE_CURRENT_BINARY_DIR}/windows-guide.txt VERBATIM)
add_custom_command(OUTPUT LICENSE.txt
  COMMAND Python3::Interpreter ${notepad_text} LICENSE.txt ${CMAKE_SOURCE_DIR}/LICENSE
  DEPENDS ${notepad_text} ${CMAKE_SOURCE_DIR}/LICENSE VERBATIM)
add_custom_target(notepad_texts ALL DEPENDS README.txt LICENSE.txt)
set(release_texts ${CMAKE_CURRENT_BINARY_DIR}/README.txt ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt
    ${CMAKE_SOURCE_DIR}/examples/tone.pcm)

install(TARGETS pcmconv RUNTIME DESTINATION .)
install(FILES ${release_texts} DESTINATION .)

math(EXPR bits "${CMAKE_SIZEOF_VOID_P} * 8")
add_custom_target(release
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/cmake/release_zip.py
          ${CMAKE_BINARY_DIR}/pcmconv-${PCMCONV_VERSION}-win${bits}.zip ${CMAKE_SOURCE_DIR}
          $<TARGET_FILE:pcmconv> ${release_texts}
  DEPENDS pcmconv notepad_texts VERBATIM)
