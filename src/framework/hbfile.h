// HbFile: the stdio-like file layer every subsystem reads and writes through; a
// read open is served from the mounted pack archives first, then from the disk.
#pragma once

#include "hbperclassfreelist.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

class HbPackArchive;

/// One open file: a disk file (a C runtime stream) or an entry of a pack
/// archive. Offsets of an entry are in the coordinates of its archive's data;
/// they are 64-bit here although the archive format stores 32-bit values.
struct HbFile
{
    HB_DECLARE_CLASS_POOL();

    enum Flag : uint32_t
    {
        kEndOfFile = 0x1,
        kError = 0x2,
    };

    /// The stream of a disk file; null for an archive entry.
    FILE* crt = nullptr;
    /// Free for the owner of the record.
    uintptr_t userData = 0;
    /// The archive holding this entry; null for a disk file.
    HbPackArchive* archive = nullptr;
    int64_t position = 0;
    int64_t entryStart = 0;
    /// entryStart + the entry's size.
    int64_t entryEnd = 0;
    /// Entries only; disk files use the stream's own indicators.
    uint32_t flags = 0;
};

// ---- Hooks (null at start; the application assigns them directly) ----------------

using HbFileBeforeOpenFn = void (*)();
using HbFileNameFn = void (*)(const char* name);
using HbFileAfterOpenFn = void (*)(HbFile* file, const char* name);
using HbFileBeforeCloseFn = void (*)(HbFile* file, int reserved);

/// First thing in every HbFileOpen, whatever the mode (the loading screen's tick).
extern HbFileBeforeOpenFn HbFileBeforeOpenHook;
/// Second thing in every HbFileOpen, with the name.
extern HbFileNameFn HbFileNameHook;
/// After a successful open of a disk file only, never for an archive entry.
extern HbFileAfterOpenFn HbFileAfterOpenHook;
/// First thing in every HbFileClose, with the record and 0.
extern HbFileBeforeCloseFn HbFileBeforeCloseHook;

/// Test hook: asked by every write to a disk file how many of its bytes may go down; fewer make
/// the write short (whole items only), as a full disk or a failing device does. Null in the game.
using HbFileWriteLimitFn = size_t (*)(HbFile* file, size_t bytes);
extern HbFileWriteLimitFn HbFileWriteLimitHook;

// ---- Standard streams -------------------------------------------------------------

/// Records over the C runtime's standard streams, made during static construction.
extern HbFile* HbFileStdin;
extern HbFile* HbFileStdout;
extern HbFile* HbFileStderr;

// ---- Opening and closing ----------------------------------------------------------

/// A mode with 'r' and without '+' is looked for in the mounted archives first
/// (unless the extension is excluded, archives are disabled or none is mounted);
/// when no archive holds the name and the disk fallback is off, null without
/// touching the disk. Everything else opens from the disk. Null on failure.
HbFile* HbFileOpen(const char* name, const char* mode);
/// 1 when the name exists in a mounted archive or (where allowed) on the disk.
int HbFileExists(const char* name);
/// The stream's fclose result for a disk file, 0 for an entry; frees the record.
int HbFileClose(HbFile* file);
/// The disk half of HbFileOpen: '\' and '/' both separate, names resolve
/// case-insensitively; null when the open fails.
HbFile* HbFileFromDisk(const char* name, const char* mode);
/// Wraps an open stream in a new record; null when out of memory.
HbFile* HbFileWrapCrt(FILE* stream);
HbFile* HbFileOpenDescriptor(int descriptor, const char* mode);
HbFile* HbFileOpenPipe(const char* command, const char* mode);
/// Closes the pipe and frees the record (no hook); the pclose result.
int HbFileClosePipe(HbFile* file);

// ---- Reading and writing ----------------------------------------------------------

/// The items read; never reads past an entry's end. Whole items only: at the
/// entry end the position becomes the end and the end-of-file flag is set.
size_t HbFileRead(void* buffer, size_t size, size_t count, HbFile* file);
/// Disk files only; on an entry 0 items and the error flag.
size_t HbFileWrite(const void* buffer, size_t size, size_t count, HbFile* file);
/// One line, the line feed kept, always zero-terminated; null at the end.
char* HbFileGets(char* buffer, int capacity, HbFile* file);
/// A byte 0..255, or -1 at the end.
int HbFileGetc(HbFile* file);
int HbFilePuts(const char* text, HbFile* file);
int HbFilePutc(int c, HbFile* file);
int HbFilePrintf(HbFile* file, const char* format, ...) __attribute__((format(printf, 2, 3)));
int HbFileVPrintf(HbFile* file, const char* format, va_list arguments);

// ---- Position and state -----------------------------------------------------------

/// origin 0 start, 1 current, 2 end; 0, or -1 when the target lies outside
/// an entry (the entry is then left at its end with end of file set).
int HbFileSeek(HbFile* file, int64_t offset, int origin);
int64_t HbFileTell(HbFile* file);
int HbFileEof(HbFile* file);
int HbFileError(HbFile* file);
void HbFileClearErr(HbFile* file);
int HbFileFlush(HbFile* file);
/// The file number; for an entry, that of its outermost archive's disk file.
int HbFileNo(HbFile* file);
/// Stores a new user word and returns the old one.
uintptr_t HbFileSetUserData(HbFile* file, uintptr_t word);

// ---- Paths ------------------------------------------------------------------------

/// The path up to and including its last separator ('\' or '/'), or ".\"
/// when it has none; returns 1.
int HbPathGetDirectory(const char* path, std::string& directory);
/// The text after the last separator, or the whole path; returns 1.
int HbPathGetFileName(const char* path, std::string& fileName);
/// The disk path a name stands for: separators become '/', and a name that does
/// not exist as written is matched component by component, ignoring ASCII case.
/// Components that match nothing stay as given (so a new file keeps its name).
std::string HbPathResolveOnDisk(const char* name);
