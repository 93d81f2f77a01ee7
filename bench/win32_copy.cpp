// The Windows anchor of the bench: copies a file's bytes from offset 28 to offset 44 of a new
// file with ReadFile and WriteFile in 256 KiB blocks, the shift the conversion makes.
//   win32_copy.exe SOURCE TARGET

#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    HANDLE source = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE target = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (source == INVALID_HANDLE_VALUE || target == INVALID_HANDLE_VALUE) return 1;
    static char block[256 * 1024];
    LARGE_INTEGER in{}, out{};
    in.QuadPart = 28;
    out.QuadPart = 44;
    if (!SetFilePointerEx(source, in, nullptr, FILE_BEGIN) || !SetFilePointerEx(target, out, nullptr, FILE_BEGIN)) {
        return 1;
    }
    DWORD got = 0;
    DWORD written = 0;
    while (ReadFile(source, block, sizeof block, &got, nullptr) && got > 0) {
        if (!WriteFile(target, block, got, &written, nullptr) || written != got) return 1;
    }
    CloseHandle(source);
    return CloseHandle(target) ? 0 : 1;
}
