#pragma once
// The whole flow of one run: banner, two prompts, the folder chain, the conversion, the
// result line.

// Runs the dialogue on standard input and output; returns the exit status, the number of
// bytes of the result line.
int RunConsoleDialogue();
