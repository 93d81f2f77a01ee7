#pragma once
// What a typed line means as a path: the forms terminals write when files are dropped or
// pasted, URIs, and the home folder.

#include <cstddef>
#include <string>

#include "platform/platform.h"

// Turns a typed line into the path it names, in place; false where the line is refused:
// - every pair of a bracketed paste's markers goes; a paste cut across lines is refused, and so
//   is a line that then holds a control byte (Tab aside): keys where no editor reads them;
// - a line of two or more words (split at blanks outside quotes) that each begin like an
//   absolute path (a separator, a drive letter, "~/" with `home`, a URI, or such a path in
//   quotes) is several dropped files, refused;
// - blanks after the path are dropped, and blanks before one that begins like an absolute
//   path, a URI or a quote;
// - one pair of double quotes around the whole line goes (a Windows console's drop), or
//   with `posixShell` single quotes with '\'' inside (GNOME Terminal and the like);
// - with `posixShell`, an unquoted line in which every "\" stands before a blank is read with
//   each "\ " as a blank (one such blank may end it); a file URI of this machine
//   (file:///..., file:/..., file://localhost/... in any case) is read as its path with %XX
//   decoded, and any other URI ("scheme://", two or more letters) is refused, as is a file URI
//   with a query or a fragment ("?", "#") or a decoded "/", "\" or zero byte inside a name;
// - with `home`, an unquoted "~/" or "~\" at the start stands for that folder.
// Anything else stays as typed.
bool InterpretTypedLine(std::string& line, const TypedPathForms& forms);

// InterpretTypedLine on the zero-terminated line in `path` (`size` bytes): a refused line, or one
// that no longer fits, leaves it empty.
void InterpretTypedPath(char* path, std::size_t size, const TypedPathForms& forms);
