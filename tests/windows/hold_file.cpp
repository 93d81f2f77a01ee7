// Test helper: holds a file open for reading, as another program would, until its standard
// input closes. Prints "held" once the file is open.

#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    std::puts("held");
    std::fflush(stdout);
    char byte;
    while (std::fread(&byte, 1, 1, stdin) == 1) {
    }
    CloseHandle(file);
    return 0;
}
