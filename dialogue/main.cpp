// Process entry: no arguments, no environment, everything is typed at the prompts.

#include <cstdio>

#include "dialogue/console_dialogue.h"
#include "folders/output_folders.h"
#include "platform/platform.h"

int main() {
    PlatformSetUpProcess();
    PlatformSetUpConsoleStreams();
    SetPathCodePage(PlatformAnsiCodePage());
    const int status = RunConsoleDialogue();
    std::fflush(nullptr);
    return status;
}
