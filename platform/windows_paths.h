#pragma once
// What the text of a path alone makes Windows open: a device or a pipe rather than a file on a
// disk. Windows tidies such paths by their text (".", "..", trailing dots, doubled separators)
// and reads certain names as devices wherever they stand, so the rule goes by what may be
// opened as a file, never by a list of what may not. Pure, and built on every system so that
// its rules are tested everywhere: no OS header.

// True when Windows would open `path` (a Path of `codePage`) as a device or a pipe:
// - "\\.\", "\\?\" (either separator) or "\??\", unless a drive letter, a colon and a
//   separator, or "UNC" and a separator, follow, with no ".." after: a pipe in any spelling,
//   GLOBALROOT, a volume, a device;
// - a network path whose share is "pipe": a named pipe on that server;
// - a last part, as Windows tidies the path ("." gone, ".." taking the part before it), that
//   Windows before 11 reads as a device, in any case, with an extension, trailing dots or blanks: CON, CONIN$, CONOUT$, AUX, PRN, COM1-COM9, LPT1-LPT9, and COM and
//   LPT with a superscript 1, 2 or 3 where the code page holds them (1252, UTF-8). NUL is no
//   such name: it reads as an empty file and takes any write.
bool OpensWindowsDevice(const char* path, unsigned codePage);

// True when Windows would write `path` to a device or a pipe rather than a file, or make a folder
// or file of a device's name that Explorer cannot remove: what OpensWindowsDevice says, and a
// device name in any part (T:\o\con\x.wav), the null device's too but for its bare name (NUL,
// \\.\NUL, any case), which takes any write.
bool WindowsOutputIsDevice(const char* path, unsigned codePage);
