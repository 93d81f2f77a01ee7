#pragma once
// The console calls of the Windows line reading, in one table, so that tests can put models of the
// console hosts in their place (conhost's generations, Wine's console, ConPTY's input in pieces), as
// SQLite's os_win.c does with its system calls. Only typed_lines_windows.cpp and its tests include it.

#include <windows.h>

struct ConsoleCalls {
    decltype(&::ReadConsoleW) readConsole = ::ReadConsoleW;
    decltype(&::ReadConsoleInputW) readInput = ::ReadConsoleInputW;
    decltype(&::PeekConsoleInputW) peekInput = ::PeekConsoleInputW;
    decltype(&::FlushConsoleInputBuffer) flushInput = ::FlushConsoleInputBuffer;
    decltype(&::WaitForSingleObject) waitForInput = ::WaitForSingleObject;
    decltype(&::GetConsoleMode) getMode = ::GetConsoleMode;
    decltype(&::SetConsoleMode) setMode = ::SetConsoleMode;
    decltype(&::SetConsoleCtrlHandler) setControlHandler = ::SetConsoleCtrlHandler;
    decltype(&::GetLastError) lastError = ::GetLastError;
    decltype(&::WriteConsoleW) write = ::WriteConsoleW;
    decltype(&::GetConsoleScreenBufferInfo) screenInfo = ::GetConsoleScreenBufferInfo;
    decltype(&::FillConsoleOutputCharacterW) fillOutput = ::FillConsoleOutputCharacterW;
};

// The calls in use: the system's own, unless a test has put others in.
inline ConsoleCalls g_consoleCalls;
