// The line editor of POSIX terminals, through libedit's own interface: no configuration file
// is read and nothing goes to standard error.

#include "platform/line_editor.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include <dirent.h>
#include <histedit.h>
#include <sys/stat.h>

#include "platform/path_completion.h"

namespace {

// Everything the editor keeps between lines; the callbacks reach it through EL_CLIENTDATA.
struct LineEditor {
    EditLine* editor = nullptr;
    History* answers = nullptr;  // this run's answers, for Up
    std::FILE* discarded = nullptr;
    char prompt[3 * CONSOLE_TEXT_SIZE] = {};

    LineEditor() = default;
    LineEditor(const LineEditor&) = delete;
    LineEditor& operator=(const LineEditor&) = delete;
    ~LineEditor() {
        if (editor != nullptr) el_end(editor);
        if (answers != nullptr) history_end(answers);
        if (discarded != nullptr) std::fclose(discarded);
    }
};

LineEditor* g_lineEditor = nullptr;

LineEditor* StateOf(EditLine* editor) {
    void* state = nullptr;
    el_get(editor, EL_CLIENTDATA, &state);
    return static_cast<LineEditor*>(state);
}

char* ShowPrompt(EditLine* editor) { return StateOf(editor)->prompt; }

std::vector<FolderEntry> ListFolder(const std::string& folder) {
    std::vector<FolderEntry> entries;
    DIR* listing = opendir(folder.c_str());
    if (listing == nullptr) return entries;
    while (const dirent* entry = readdir(listing)) {
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            // A link to a folder completes as a folder too.
            struct stat info;
            isFolder = stat((folder + entry->d_name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        }
        entries.push_back({entry->d_name, isFolder});
    }
    closedir(listing);
    return entries;
}

unsigned char CompleteTypedPath(EditLine* editor, int) {
    const LineInfo* line = el_line(editor);
    const std::string typed(line->buffer, static_cast<std::size_t>(line->cursor - line->buffer));
    const PathCompletion completion = CompletePath(typed, ListFolder(CompletionFolder(typed)));
    if (!completion.insert.empty()) {
        return el_insertstr(editor, completion.insert.c_str()) == 0 ? CC_REFRESH : CC_REFRESH_BEEP;
    }
    if (completion.listed.empty()) return CC_REFRESH_BEEP;
    std::fputc('\n', stdout);
    for (const std::string& name : completion.listed) std::fprintf(stdout, "%s  ", name.c_str());
    std::fputc('\n', stdout);
    return CC_REDISPLAY;
}

// The editor of this run, made at its first line.
LineEditor* TheLineEditor() {
    if (g_lineEditor != nullptr) return g_lineEditor;
    auto* state = new LineEditor;
    state->discarded = std::fopen("/dev/null", "w");
    state->answers = history_init();
    if (state->discarded != nullptr && state->answers != nullptr) {
        state->editor = el_init("pcmconv", stdin, stdout, state->discarded);
    }
    if (state->editor == nullptr) {
        delete state;
        return nullptr;
    }
    EditLine* editor = state->editor;
    HistEvent event;
    ::history(state->answers, &event, H_SETSIZE, 10);
    el_set(editor, EL_CLIENTDATA, state);
    el_set(editor, EL_EDITOR, "emacs");
    el_set(editor, EL_SIGNAL, 1);  // the terminal is set back when a signal ends the run
    el_set(editor, EL_PROMPT, ShowPrompt);
    el_set(editor, EL_HIST, ::history, state->answers);
    // The wide call keeps these literals; the narrow one leaks a copy of each.
    el_wset(editor, EL_ADDFN, L"pcmconv-complete", L"Complete a path", CompleteTypedPath);
    el_set(editor, EL_BIND, "^I", "pcmconv-complete", nullptr);
    // Home, End and Delete as tmux, screen, the Linux console and rxvt send them; libedit
    // knows the xterm forms only.
    static const char* const kKeys[][2] = {
        {"\033[1~", "ed-move-to-beg"}, {"\033[7~", "ed-move-to-beg"}, {"\033[4~", "ed-move-to-end"},
        {"\033[8~", "ed-move-to-end"}, {"\033[3~", "ed-delete-next-char"}};
    for (const auto& key : kKeys) el_set(editor, EL_BIND, key[0], key[1], nullptr);
    g_lineEditor = state;
    return state;
}

}  // namespace

long ReadEditedLine(const char* prompt, char* line, std::size_t capacity) {
    LineEditor* state = TheLineEditor();
    if (state == nullptr) return CONSOLE_LINE_NONE;
    std::snprintf(state->prompt, sizeof state->prompt, "%s", prompt);
    // Raw mode before the prompt shows: keys typed as soon as it is on the screen must reach
    // the editor, not the terminal's own line editing (el_gets sets it only at its first read).
    el_set(state->editor, EL_PREP_TERM, 1);
    int count = 0;
    const char* typed = el_gets(state->editor, &count);
    if (typed == nullptr || count <= 0) return count == 0 ? 0 : CONSOLE_LINE_NONE;  // 0: Ctrl+D, empty line
    if (static_cast<std::size_t>(count) > capacity) return CONSOLE_LINE_REFUSED;
    std::memcpy(line, typed, static_cast<std::size_t>(count));
    // Up at the next prompt brings this answer back.
    const std::string answer(typed, static_cast<std::size_t>(count) - (typed[count - 1] == '\n' ? 1 : 0));
    HistEvent event;
    if (!answer.empty()) ::history(state->answers, &event, H_ENTER, answer.c_str());
    return count;
}

void EndLineEditor() {
    delete g_lineEditor;
    g_lineEditor = nullptr;
}
