// The engine's file-function table with its C runtime defaults, and the absolute-path
// test. The application replaces the table's entries after Engine::Init so that engine
// files can come from its own file layer (pack archives).
#pragma once

#include <cstddef>
#include <cstdint>

/// Handles are whatever the table's open returns; the engine never looks inside them.
struct FileFunctions
{
    /// 1 when the file can be opened for reading.
    int32_t (*exists)(const char* name);
    /// Null on failure.
    void* (*open)(const char* name, const char* mode);
    /// 0 on success.
    int32_t (*close)(void* file);
    /// Elements read.
    size_t (*read)(void* buffer, size_t size, size_t count, void* file);
    /// Elements written.
    size_t (*write)(const void* buffer, size_t size, size_t count, void* file);
    /// buffer, or null at the end.
    char* (*gets)(char* buffer, int32_t length, void* file);
    /// Non-negative on success.
    int32_t (*puts)(const char* text, void* file);
    /// Non-zero at the end of the file.
    int32_t (*eof)(void* file);
    /// origin: 0 start, 1 current, 2 end. 0 on success.
    int32_t (*seek)(void* file, int64_t offset, int32_t origin);
    /// 0 on success.
    int32_t (*flush)(void* file);
    /// The position, or -1.
    int64_t (*tell)(void* file);
};

struct FileSystem
{
    /// The C runtime's stdio; exists opens through the table's own open.
    static const FileFunctions* DefaultFunctions();
    /// The current engine record's table, for reading or replacing entries; null before
    /// the engine was first initialised.
    static FileFunctions* GetFunctions();
};

struct Path
{
    /// 1 when the name begins with '\' or with an ASCII letter and ':'; a leading '/' is
    /// not absolute (engine data names use '\').
    static int32_t IsAbsolute(const char* name);
};
