#include "dialogue/console_dialogue.h"

#include <array>
#include <cstdio>

#include "convert/pcm_to_wav.h"
#include "dialogue/console_output.h"
#include "dialogue/line_reader.h"
#include "folders/output_folders.h"
#include "platform/platform.h"
#include "texts/console_texts.h"

int RunConsoleDialogue() {
    std::array<char, PATH_BUFFER_SIZE> inputPath{};
    std::array<char, PATH_BUFFER_SIZE> outputPath{};
    const bool console = PlatformIsConsole(stdout);

    WriteConsoleText(stdout, console, texts::TEXT_BANNER);
    WriteConsoleText(stdout, console, texts::TEXT_PCM_DATA_PROMPT);
    ReadInputLine(inputPath.data());
    UnwrapPastedPath(inputPath.data(), PlatformPastesShellQuotes());
    WriteConsoleText(stdout, console, texts::TEXT_OUTPUT_PROMPT);
    ReadInputLine(outputPath.data());
    UnwrapPastedPath(outputPath.data(), PlatformPastesShellQuotes());

    PrepareOutputFolders(outputPath.data());
    WriteConsoleText(stdout, console, texts::TEXT_CONVERTING);
    const char* result = ConvertPcmDataToWav(inputPath.data(), outputPath.data());

    // The result line is one write: the lead and the result text together.
    char resultLine[sizeof texts::TEXT_RESULT_LEAD + 64] = {};
    std::snprintf(resultLine, sizeof resultLine, "%s%s", texts::TEXT_RESULT_LEAD, result);
    return WriteConsoleText(stdout, console, resultLine);
}
