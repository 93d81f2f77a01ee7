// Any bytes from a terminal, then the wait: outside a paste every Escape that reaches the editor
// begins one of the forms it binds or stands alone before a key (Alt+key, Escape), no control
// byte comes out that was not typed (C1 controls never), every paste ends, and every character
// is a Unicode scalar value.

#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <string>

#include "line_editing/terminal_keys.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace editor_keys;
    TerminalKeyReader reader;
    std::wstring keys;
    std::size_t typed[0x80] = {};
    for (std::size_t i = 0; i < size; ++i) {
        FeedTerminalByte(reader, data[i], keys);
        if (data[i] < 0x80) ++typed[data[i]];
    }
    FeedTerminalByte(reader, NO_MORE_BYTES, keys);
    const std::wstring_view forms[] = {LEFT, RIGHT, UP, DOWN, HOME, END, DELETE, WORD_LEFT, WORD_RIGHT};
    bool inPaste = false;
    for (std::size_t at = 0; at < keys.size(); ++at) {
        const wchar_t key = keys[at];
        if ((key >= 0xD800 && key <= 0xDFFF) || key > 0x10FFFF || key < 0 || (!inPaste && key >= 0x80 && key <= 0x9F)) {
            std::abort();
        }
        const std::wstring_view marker = inPaste ? PASTE_END : PASTE_START;
        std::size_t form = 0;
        while (form < std::size(forms) && keys.compare(at, forms[form].size(), forms[form]) != 0) ++form;
        const bool dropped = inPaste && keys.compare(at, PASTE_DROPPED.size(), PASTE_DROPPED) == 0;
        if (keys.compare(at, marker.size(), marker) == 0 || dropped) {
            inPaste = !inPaste;
            at += marker.size() - 1;
        } else if (!inPaste && form < std::size(forms)) {
            at += forms[form].size() - 1;
        } else if (!inPaste && (key < 0x20 || key == 0x7F) && key != L'\033' && typed[key]-- == 0) {
            std::abort();  // a control byte that was not typed
        } else if (!inPaste && key == L'\033' && at + 1 < keys.size() && (keys[at + 1] == L'[' || keys[at + 1] == L'O')) {
            std::abort();  // the tail of a sequence would reach the line
        }
    }
    if (inPaste) std::abort();  // a paste left open would swallow the line
    return 0;
}
