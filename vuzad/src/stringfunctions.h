// The engine's string-function table: formatting, copying, comparing, searching and case
// changes, filled with the C runtime's functions (and a few of the engine's own) at
// Engine::Init.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

struct StringFunctions
{
    int (*sprintf)(char* buffer, const char* format, ...);
    int (*vsprintf)(char* buffer, const char* format, va_list arguments);
    char* (*strcpy)(char* destination, const char* source);
    char* (*strncpy)(char* destination, const char* source, size_t count);
    char* (*strcat)(char* destination, const char* source);
    char* (*strncat)(char* destination, const char* source, size_t count);
    /// The last occurrence, or null.
    const char* (*strrchr)(const char* text, int character);
    /// The first occurrence, or null; the terminating zero is never found.
    const char* (*strchr)(const char* text, int character);
    const char* (*strstr)(const char* text, const char* part);
    int (*strcmp)(const char* a, const char* b);
    int (*strncmp)(const char* a, const char* b, size_t count);
    /// A-Z folded to a-z: the difference of the first folded characters that differ, 0
    /// when equal or when either argument is null.
    int (*stricmp)(const char* a, const char* b);
    size_t (*strlen)(const char* text);
    /// In place; the text (null gives null).
    char* (*strupr)(char* text);
    char* (*strlwr)(char* text);
    char* (*strtok)(char* text, const char* delimiters);
    int (*sscanf)(const char* text, const char* format, ...);

    static const StringFunctions* Defaults();

    // The engine's own entries, callable directly.
    static int CompareNoCase(const char* a, const char* b);
    static char* ToUpper(char* text);
    static char* ToLower(char* text);
    static const char* FindChar(const char* text, int character);
};
