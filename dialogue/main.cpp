// Process entry: no arguments, no environment, everything is typed at the prompts.

#include <cstdio>

#include "dialogue/console_dialogue.h"
#include "dialogue/console_output.h"
#include "folders/output_folders.h"
#include "line_editing/typed_lines.h"
#include "platform/platform.h"
#include "texts/console_texts.h"

int main() {
    PlatformSetUpProcess();
    PlatformSetUpConsoleStreams();
    SetPathCodePage(PlatformAnsiCodePage());
    const int status = RunConsoleDialogue();
    std::fflush(nullptr);
    // A window of its own closes as the program ends: keep the result line readable.
    if (WaitsBeforeClosing(PlatformIsConsole(stdin), PlatformIsConsole(stdout),
                           PlatformConsoleProcessCount())) {
        WriteConsoleText(stdout, true, texts::TEXT_CLOSE_HINT);
        WaitForEnter(status);
    }
    return status;
}
