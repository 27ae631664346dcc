// The player's own folder, where the program writes what belongs to the player (preferences,
// saves, screenshots) apart from the content it only reads, and the write that replaces a file
// there without ever leaving it half written.
#pragma once

#include <cstddef>
#include <string>

// ---- The folder ---------------------------------------------------------------------------------

/// The folder from the environment: the override variable's value when it is set and not empty;
/// else <XDG_DATA_HOME>/<application> when XDG_DATA_HOME is an absolute path; else
/// <HOME>/.local/share/<application>; empty (the working directory) when there is no home.
std::string HbUserFolderFromEnvironment(const char* overrideVariable, const char* application);
/// The folder in use; empty means the working directory (the start-up value).
const std::string& HbUserFolder();
void HbUserFolderSet(const std::string& folder);
/// Where the player's file of that name lives: the name under the folder, or the name alone.
std::string HbUserPath(const char* name);
/// Makes the folder and its missing parents (the folder itself readable by its owner only); 1
/// when it exists as a folder afterwards.
int HbUserFolderMake();

// ---- Writing ------------------------------------------------------------------------------------

/// Puts the bytes in place of the disk file at the path: they go to "<path>.tmp", which is flushed
/// to the device and then renamed over the path. 1 on success; 0 on any failure, with the file at
/// the path as it was and no temporary left behind.
int HbFileReplace(const char* path, const void* bytes, size_t size);
/// Called with the path once its bytes are in the flushed temporary, before the rename; null for
/// none. For tests that end the process in the middle of a replacement.
using HbFileReplaceHook = void (*)(const char* path);
void HbSetFileReplaceHook(HbFileReplaceHook hook);
/// Makes the folder, then replaces the player's file of that name with the bytes; 1 on success.
int HbUserFileWrite(const char* name, const void* bytes, size_t size);
/// A file of that name in the working directory (where an older run kept it) moves into the folder
/// when the folder has none yet: copied whole, then removed (it stays when it cannot be removed,
/// and is not read again since the folder now has one). 1 when it was copied; 0 when there was
/// nothing to move, the folder is the working directory or the copy failed.
int HbUserFileMoveIn(const char* name);

/// Says once per run on the error stream that the settings cannot be saved, and where; later
/// calls are silent.
void HbUserFolderReportUnwritable();
/// 1 once the report has been made.
int HbUserFolderReported();
/// Tests: the next report is made again.
void HbUserFolderResetReport();
