#pragma once
// What a typed line means as a path: the forms terminals write when files are dropped or
// pasted, URIs, and the home folder.

// How this system's terminals write paths, from the platform.
struct TypedPathForms {
    // POSIX: shell quotes ('...', '\'' for a quote), "\ " for a blank (WezTerm), file URIs.
    bool posixShell;
    // The folder a typed "~/" begins in ("" where none can be: the path is refused), or nullptr
    // where "~" is a letter of names (Windows).
    const char* home;
    // The code page of typed paths: the second byte of a two-byte character is never a "\".
    unsigned codePage;
};

// Turns the typed line in `path` (PATH_BUFFER_SIZE bytes) into the path it names, in place:
// - the markers of a bracketed paste go; a paste cut across lines is refused;
// - a line of two or more words (split at blanks outside quotes) that each begin like an
//   absolute path (a separator, a drive letter, "~/", a URI, or such a path in quotes) is
//   several dropped files, refused;
// - blanks after the path are dropped, and blanks before one that begins like an absolute
//   path or a quote;
// - one pair of double quotes around the whole line goes (a Windows console's drop), or
//   with `posixShell` single quotes with '\'' inside (GNOME Terminal and the like);
// - with `posixShell`, an unquoted line in which every "\" stands before a blank is read with
//   each "\ " as a blank (one such blank may end it); a file URI of this machine
//   (file:///..., file://localhost/...) is read as its path with %XX decoded, and any other
//   URI ("scheme://", two or more letters) is refused, as is a decoded "/", "\" or zero byte
//   inside a name;
// - with `home`, an unquoted "~/" or "~\" at the start stands for that folder.
// A refused line, or one that no longer fits the buffer, leaves `path` empty. Anything else
// stays as typed.
void InterpretTypedPath(char* path, const TypedPathForms& forms);
