#pragma once
// Makes every folder along the output path before the output file is created.

// Sets the code page in which paths are walked; taken once at start-up.
void SetPathCodePage(unsigned codePage);

// Asks the system to create each folder of `outputPath`, outermost first. Whether a folder
// existed, was made or was refused is not examined, and nothing is reported.
void PrepareOutputFolders(const char* outputPath);
