#pragma once
// Makes every folder along the output path before the output file is created.

// Sets the code page in which paths are walked; taken once at start-up.
void SetPathCodePage(unsigned codePage);

// For tests: the operation asked to create each folder, PlatformCreateFolder unless set;
// nullptr sets it back.
void SetCreateFolderOperation(bool (*createFolder)(const char* prefix));

// Asks the system to create each folder of `outputPath`, outermost first. Whether a folder
// existed, was made or was refused is not examined, and nothing is reported.
void PrepareOutputFolders(const char* outputPath);
