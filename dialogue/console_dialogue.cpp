#include "dialogue/console_dialogue.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "convert/pcm_to_wav.h"
#include "dialogue/console_output.h"
#include "dialogue/line_reader.h"
#include "folders/output_folders.h"
#include "line_editing/typed_lines.h"
#include "line_editing/typed_path.h"
#include "platform/platform.h"
#include "texts/console_texts.h"

namespace {

// Writes a prompt and reads the path typed after it. Where typed lines are edited, the prompt's
// last line goes to the editor, which shows it again on every redraw; a console draws it again
// under Tab's listing.
template <std::size_t N>
void AskForPath(bool console, bool editsLines, const char (&prompt)[N], char* path) {
    const char* lastLine = std::strrchr(prompt, '\n') + 1;
    WriteConsoleText(stdout, console, prompt, editsLines ? static_cast<std::size_t>(lastLine - prompt) : N);
    ReadInputLine(path, lastLine);
    InterpretTypedPath(path, PATH_BUFFER_SIZE, PlatformTypedPathForms());
}

}  // namespace

int RunConsoleDialogue() {
    std::array<char, PATH_BUFFER_SIZE> inputPath{};
    std::array<char, PATH_BUFFER_SIZE> outputPath{};
    const bool console = PlatformIsConsole(stdout);
    const bool editsLines = EditsTypedLines();

    WriteConsoleText(stdout, console, texts::TEXT_BANNER);
    AskForPath(console, editsLines, texts::TEXT_PCM_DATA_PROMPT, inputPath.data());
    AskForPath(console, editsLines, texts::TEXT_OUTPUT_PROMPT, outputPath.data());
    EndTypedLines();

    PrepareOutputFolders(outputPath.data());
    WriteConsoleText(stdout, console, texts::TEXT_CONVERTING);
    const char* result = ConvertPcmDataToWav(inputPath.data(), outputPath.data());

    // The result line is one write: the lead and the result text together.
    char resultLine[sizeof texts::TEXT_RESULT_LEAD + 64] = {};
    std::snprintf(resultLine, sizeof resultLine, "%s%s", texts::TEXT_RESULT_LEAD, result);
    return WriteConsoleText(stdout, console, resultLine);
}
