# The Windows release: pcmconv.exe, README.txt (README.md with the guides of docs/ after it) and
# LICENSE.txt, the texts made for Notepad as far back as Windows XP's (UTF-8 with a byte-order
# mark, CR LF line ends). `cmake --install` puts these three into a folder; `--target release`
# makes the zip of them and SHA256SUMS beside it, the same bytes from every build of one commit.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(readme_parts README.md ${PCMCONV_GUIDES})
list(TRANSFORM readme_parts PREPEND ${CMAKE_SOURCE_DIR}/)
set(notepad_text ${CMAKE_SOURCE_DIR}/cmake/notepad_text.py)
add_custom_command(OUTPUT README.txt
  COMMAND Python3::Interpreter ${notepad_text} README.txt ${readme_parts}
  DEPENDS ${notepad_text} ${readme_parts} VERBATIM)
add_custom_command(OUTPUT LICENSE.txt
  COMMAND Python3::Interpreter ${notepad_text} LICENSE.txt ${CMAKE_SOURCE_DIR}/LICENSE
  DEPENDS ${notepad_text} ${CMAKE_SOURCE_DIR}/LICENSE VERBATIM)
add_custom_target(notepad_texts ALL DEPENDS README.txt LICENSE.txt)
set(release_texts ${CMAKE_CURRENT_BINARY_DIR}/README.txt ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt)

install(TARGETS pcmconv RUNTIME DESTINATION .)
install(FILES ${release_texts} DESTINATION .)

math(EXPR bits "${CMAKE_SIZEOF_VOID_P} * 8")
add_custom_target(release
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/cmake/release_zip.py
          ${CMAKE_BINARY_DIR}/pcmconv-${PCMCONV_VERSION}-win${bits}.zip ${CMAKE_SOURCE_DIR}
          $<TARGET_FILE:pcmconv> ${release_texts}
  DEPENDS pcmconv notepad_texts VERBATIM)
