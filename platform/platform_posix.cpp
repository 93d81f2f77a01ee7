// POSIX stand-ins for the Win32 services in platform.h.

#include "platform/platform.h"

#include <cerrno>
#include <csignal>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(PCMCONV_LIBEDIT)
#include <dirent.h>
#include <histedit.h>
#endif

namespace {

bool IsFolder(int fd) {
    struct stat info;
    return fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
}

// open(2) flags for a C mode string ("r", "rb", "wb", "ab", "a+b", "w+b"); -1 for another.
int OpenFlags(const char* mode) {
    int flags = 0;
    switch (mode[0]) {
        case 'r': flags = O_RDONLY; break;
        case 'w': flags = O_WRONLY | O_CREAT | O_TRUNC; break;
        case 'a': flags = O_WRONLY | O_CREAT | O_APPEND; break;
        default: return -1;
    }
    if (std::strchr(mode, '+') != nullptr) flags = (flags & ~O_ACCMODE) | O_RDWR;
    return flags;
}

// Opens without waiting for the other end of a FIFO (Windows never waits on a missing pipe):
// a FIFO with no writer opens and reads as empty, one with no reader does not open for
// writing. Reads and writes after the open wait as usual.
int OpenWithoutWaiting(const char* path, int flags) {
    const int fd = open(path, flags | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) return -1;
    const int status = fcntl(fd, F_GETFL);
    if (status < 0 || fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

struct FreeText {
    void operator()(char* text) const { std::free(text); }
};
using NativePath = std::unique_ptr<char, FreeText>;

// A typed path with its "\\" separators read as "/", as Windows reads them, walking by
// characters so that the second byte of a two-byte character is left alone. nullptr when
// no memory is left.
NativePath ToNativePath(const char* path) {
    const unsigned codePage = PlatformAnsiCodePage();
    const std::size_t length = std::strlen(path);
    NativePath native(static_cast<char*>(std::malloc(length + 1)));
    if (!native) return native;
    char* out = native.get();
    for (std::size_t i = 0; i < length; ++i) {
        if (PlatformIsLeadByte(codePage, static_cast<unsigned char>(path[i])) && i + 1 < length) {
            out[i] = path[i];
            out[i + 1] = path[i + 1];
            ++i;
        } else {
            out[i] = path[i] == '\\' ? '/' : path[i];
        }
    }
    out[length] = '\0';
    return native;
}

// True when a locale's name says UTF-8: "xx_YY.UTF-8", ".utf8", any case, "@..." after it.
bool NamesUtf8(const char* name) {
    const char* codeset = name != nullptr ? std::strchr(name, '.') : nullptr;
    if (codeset == nullptr) return false;
    const std::size_t length = std::strcspn(codeset + 1, "@");
    return (length == 5 && strncasecmp(codeset + 1, "UTF-8", 5) == 0) ||
           (length == 4 && strncasecmp(codeset + 1, "UTF8", 4) == 0);
}

unsigned CodePageOfLocale() {
    // The POSIX counterpart of the ANSI code page is the character set of the user's locale.
    const char* previous = std::setlocale(LC_CTYPE, nullptr);
    char saved[64] = "C";
    if (previous != nullptr) std::strncpy(saved, previous, sizeof saved - 1);
    bool set = std::setlocale(LC_CTYPE, "") != nullptr;
    if (!set) {
        // A UTF-8 locale the system lacks (common where none was generated) still means a
        // UTF-8 terminal: glibc's built-in C.UTF-8 speaks it.
        const char* name = nullptr;
        for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
            name = std::getenv(variable);
            if (name != nullptr && *name != '\0') break;
        }
        set = NamesUtf8(name) && std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
    }
    unsigned codePage = 1252;
    if (set) {
        const char* codeset = nl_langinfo(CODESET);
        static const char* const kShiftJisNames[] = {"SHIFT_JIS", "SHIFT-JIS", "SJIS", "CP932",
                                                      "WINDOWS-31J", "MS_KANJI"};
        for (const char* name : kShiftJisNames) {
            if (strcasecmp(codeset, name) == 0) codePage = 932;
        }
        if (strcasecmp(codeset, "UTF-8") == 0) codePage = 65001;
    }
    // The line editor reads UTF-8 only under a UTF-8 LC_CTYPE; elsewhere the C library's
    // character rules stay those of "C".
    if (codePage != 65001) std::setlocale(LC_CTYPE, saved);
    return codePage;
}

// Code page 932 bytes as UTF-8 in `out`: their length, or -1 where they do not convert or fit.
long Utf8FromCodePage932(const char* bytes, std::size_t length, char* out, std::size_t capacity) {
    static const iconv_t decoder = iconv_open("UTF-8", "CP932");
    if (decoder == reinterpret_cast<iconv_t>(-1)) return -1;
    // Code page 932 to UTF-8 is stateless, and iconv only reads its input.
    char* inAt = const_cast<char*>(bytes);
    std::size_t inLeft = length;
    char* outAt = out;
    std::size_t outLeft = capacity;
    if (iconv(decoder, &inAt, &inLeft, &outAt, &outLeft) == static_cast<std::size_t>(-1)) return -1;
    return static_cast<long>(capacity - outLeft);
}

// ---- The line editor (libedit): its own interface, so that no configuration file is read
// and nothing goes to standard error.
#if defined(PCMCONV_LIBEDIT)

char g_editorPrompt[3 * CONSOLE_TEXT_SIZE];

char* EditorPrompt(EditLine*) { return g_editorPrompt; }

// How many of the bytes of `text` after `from`, at most `length`, make whole UTF-8 characters.
std::size_t WholeCharacters(const std::string& text, std::size_t from, std::size_t length) {
    std::size_t whole = 0;
    while (whole < length) {
        const unsigned char lead = static_cast<unsigned char>(text[from + whole]);
        const std::size_t size = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (whole + size > length) break;
        whole += size;
    }
    return whole;
}

// Tab completes the way the program reads paths: the line before the cursor is one path,
// blanks included, "\\" separates like "/", nothing is escaped; a folder completes to
// "name/", a file to its name alone. Several names and nothing to add: they are listed.
unsigned char CompletePath(EditLine* editor, int) {
    const LineInfo* line = el_line(editor);
    const std::string typed(line->buffer, static_cast<std::size_t>(line->cursor - line->buffer));
    const std::size_t cut = typed.find_last_of("/\\");
    std::string folder = cut == std::string::npos ? std::string("./") : typed.substr(0, cut + 1);
    for (char& byte : folder) byte = byte == '\\' ? '/' : byte;
    const std::string start = cut == std::string::npos ? typed : typed.substr(cut + 1);
    std::vector<std::string> names;
    if (DIR* listing = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(listing)) {
            const std::string name = entry->d_name;
            if (name == "." || name == ".." || (name[0] == '.' && start.empty())) continue;
            if (name.compare(0, start.size(), start) == 0) names.push_back(name);
        }
        closedir(listing);
    }
    if (names.empty()) return CC_REFRESH_BEEP;
    std::size_t common = names[0].size();
    for (const std::string& name : names) {
        std::size_t same = 0;
        while (same < common && same < name.size() && name[same] == names[0][same]) ++same;
        common = same;
    }
    std::string added =
        names[0].substr(start.size(), WholeCharacters(names[0], start.size(), common - start.size()));
    struct stat info;
    if (names.size() == 1 && stat((folder + names[0]).c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        added += '/';
    }
    if (!added.empty()) return el_insertstr(editor, added.c_str()) == 0 ? CC_REFRESH : CC_REFRESH_BEEP;
    std::fputc('\n', stdout);
    for (const std::string& name : names) std::fprintf(stdout, "%s  ", name.c_str());
    std::fputc('\n', stdout);
    return CC_REDISPLAY;
}

EditLine* g_editor = nullptr;
History* g_answers = nullptr;  // this run's answers, for Up

// The editor of this run, made at its first line.
EditLine* LineEditor() {
    if (g_editor != nullptr) return g_editor;
    static std::FILE* const discarded = std::fopen("/dev/null", "w");
    if (g_answers == nullptr) g_answers = history_init();
    if (discarded == nullptr || g_answers == nullptr) return nullptr;
    g_editor = el_init("pcmconv", stdin, stdout, discarded);
    if (g_editor == nullptr) return nullptr;
    HistEvent event;
    ::history(g_answers, &event, H_SETSIZE, 10);
    el_set(g_editor, EL_EDITOR, "emacs");
    el_set(g_editor, EL_SIGNAL, 1);  // the terminal is set back when a signal ends the run
    el_set(g_editor, EL_PROMPT, EditorPrompt);
    el_set(g_editor, EL_HIST, ::history, g_answers);
    el_set(g_editor, EL_ADDFN, "pcmconv-complete", "Complete a path", CompletePath);
    el_set(g_editor, EL_BIND, "^I", "pcmconv-complete", nullptr);
    // Home, End and Delete as tmux, screen, the Linux console and rxvt send them; libedit
    // knows the xterm forms only.
    static const char* const kKeys[][2] = {
        {"\033[1~", "ed-move-to-beg"}, {"\033[7~", "ed-move-to-beg"}, {"\033[4~", "ed-move-to-end"},
        {"\033[8~", "ed-move-to-end"}, {"\033[3~", "ed-delete-next-char"}};
    for (const auto& key : kKeys) el_set(g_editor, EL_BIND, key[0], key[1], nullptr);
    return g_editor;
}

#endif

}  // namespace

void* PlatformAllocZeroed(std::size_t size) {
    if (!PlatformGranted(SERVICE_ALLOCATE, nullptr)) return nullptr;
    return std::calloc(size == 0 ? 1 : size, 1);
}

void PlatformFree(void* block) { std::free(block); }

std::FILE* PlatformOpenStream(const char* path, const char* mode) {
    if (!PlatformGranted(SERVICE_OPEN, path)) return nullptr;
    const int flags = OpenFlags(mode);
    const NativePath native = ToNativePath(path);
    if (flags < 0 || !native) return nullptr;
    const int fd = OpenWithoutWaiting(native.get(), flags);
    if (fd < 0) return nullptr;
    if (IsFolder(fd)) {
        // Windows refuses to open a folder as a file stream; so do we.
        close(fd);
        errno = EISDIR;
        return nullptr;
    }
    std::FILE* stream = fdopen(fd, mode);
    if (stream == nullptr) {
        close(fd);
    } else {
        // No stdio buffer: each 256 KiB block of the copier is one read and one write, as a
        // block-sized dd makes them, and each header piece one write.
        std::setvbuf(stream, nullptr, _IONBF, 0);
    }
    return stream;
}

bool PlatformSeekStream(std::FILE* stream, std::int64_t offset) {
    return fseeko(stream, static_cast<off_t>(offset), SEEK_SET) == 0;
}

std::int64_t PlatformQueryFileLength(const char* path) {
    if (!PlatformGranted(SERVICE_OPEN, path)) return -1;
    const NativePath native = ToNativePath(path);
    if (!native) return -1;
    const int fd = OpenWithoutWaiting(native.get(), O_RDONLY);
    if (fd < 0) return -1;
    struct stat info;
    const bool ok = fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode);
    close(fd);
    return ok ? static_cast<std::int64_t>(info.st_size) : -1;
}

bool PlatformSameFile(const char* pathA, const char* pathB) {
    struct stat a;
    struct stat b;
    const NativePath nativeA = ToNativePath(pathA);
    const NativePath nativeB = ToNativePath(pathB);
    if (!nativeA || !nativeB) return false;
    if (stat(nativeA.get(), &a) != 0 || stat(nativeB.get(), &b) != 0) return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

PlatformLockResult PlatformLockFile(const char* path, bool exclusive, PlatformLockHandle* handle) {
    *handle = NO_LOCK;
    const NativePath native = ToNativePath(path);
    if (!PlatformGranted(SERVICE_LOCK, path) || !native) return LOCK_NOT_NEEDED;
    // flock, not fcntl: a record lock would go as soon as any piece closes its descriptor.
    const int fd = open(native.get(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (exclusive ? O_CREAT : 0), 0666);
    if (fd < 0) return LOCK_NOT_NEEDED;
    struct stat info;
    const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (regular && flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) {
        *handle = fd;
        return LOCK_TAKEN;
    }
    const bool held = regular && errno == EWOULDBLOCK;
    close(fd);
    return held ? LOCK_HELD : LOCK_NOT_NEEDED;
}

void PlatformUnlockFile(PlatformLockHandle handle) {
    if (handle != NO_LOCK) close(static_cast<int>(handle));
}

bool PlatformCreateFolder(const char* prefix) {
    if (!PlatformGranted(SERVICE_CREATE_FOLDER, prefix)) return false;
    const NativePath native = ToNativePath(prefix);
    return native && mkdir(native.get(), 0777) == 0;
}

unsigned PlatformAnsiCodePage() {
    static const unsigned codePage = CodePageOfLocale();
    return codePage;
}

bool PlatformIsLeadByte(unsigned codePage, unsigned char byte) {
    if (codePage != 932) return false;
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

void PlatformSetUpProcess() {
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
}

void PlatformSetUpConsoleStreams() {
    // POSIX streams never translate line ends; only the buffer is set.
    static char outputBuffer[4096];
    std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
}

bool PlatformIsConsole(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

bool PlatformWriteConsoleText(std::FILE* stream, const char* bytes, std::size_t length) {
    // Under any other locale the texts go out as the Windows program writes them.
    if (PlatformAnsiCodePage() != 65001 || length > CONSOLE_TEXT_SIZE) return false;
    char utf8[3 * CONSOLE_TEXT_SIZE];  // three bytes of UTF-8 at most for each byte
    const long converted = Utf8FromCodePage932(bytes, length, utf8, sizeof utf8);
    if (converted < 0) return false;
    // A terminal here ends its lines with LF alone.
    std::size_t kept = 0;
    for (long i = 0; i < converted; ++i) {
        if (utf8[i] != '\r' || i + 1 == converted || utf8[i + 1] != '\n') utf8[kept++] = utf8[i];
    }
    std::fwrite(utf8, 1, kept, stream);
    return true;
}

bool PlatformEditsConsoleLines() {
#if defined(PCMCONV_LIBEDIT)
    // The editor speaks UTF-8 only; other terminals keep their own line discipline.
    return PlatformAnsiCodePage() == 65001 && isatty(STDIN_FILENO) != 0 && isatty(STDOUT_FILENO) != 0;
#else
    return false;  // built without libedit
#endif
}

long PlatformReadConsoleLine(std::FILE* stream, const char* prompt, char* line, std::size_t capacity) {
#if defined(PCMCONV_LIBEDIT)
    // The dialogue gives a prompt only where PlatformEditsConsoleLines says so.
    EditLine* editor = stream == stdin && prompt != nullptr ? LineEditor() : nullptr;
    if (editor == nullptr) return CONSOLE_LINE_NONE;
    const long promptLength =
        Utf8FromCodePage932(prompt, std::strlen(prompt), g_editorPrompt, sizeof g_editorPrompt - 1);
    g_editorPrompt[promptLength < 0 ? 0 : promptLength] = '\0';
    int count = 0;
    const char* typed = el_gets(editor, &count);
    if (typed == nullptr || count <= 0) return count == 0 ? 0 : CONSOLE_LINE_NONE;  // 0: Ctrl+D, empty line
    if (static_cast<std::size_t>(count) > capacity) return CONSOLE_LINE_REFUSED;
    std::memcpy(line, typed, static_cast<std::size_t>(count));
    // Up at the next prompt brings this answer back.
    const std::string answer(typed, static_cast<std::size_t>(count) - (typed[count - 1] == '\n' ? 1 : 0));
    HistEvent event;
    if (!answer.empty()) ::history(g_answers, &event, H_ENTER, answer.c_str());
    return count;
#else
    // A terminal's own line discipline gives typed bytes as they are: the caller reads them.
    (void)stream;
    (void)prompt;
    (void)line;
    (void)capacity;
    return CONSOLE_LINE_NONE;
#endif
}

bool PlatformPastesShellQuotes() { return true; }

// No POSIX terminal is a window that closes when the program ends: nothing waits.
unsigned PlatformConsoleProcessCount() { return 0; }

// Never called here: PlatformConsoleProcessCount is always 0.
void PlatformWaitForEnter(int) {}
