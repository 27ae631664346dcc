// The engine's default string functions: the C runtime's, and ASCII-only case folding.
#include "stringfunctions.h"

#include <cstdio>
#include <cstring>

namespace
{

int Sprintf(char* buffer, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int n = std::vsprintf(buffer, format, arguments);
    va_end(arguments);
    return n;
}

int Vsprintf(char* buffer, const char* format, va_list arguments)
{
    return std::vsprintf(buffer, format, arguments);
}

char* Strcpy(char* destination, const char* source)
{
    return std::strcpy(destination, source);
}

char* Strncpy(char* destination, const char* source, size_t count)
{
    return std::strncpy(destination, source, count);
}

char* Strcat(char* destination, const char* source)
{
    return std::strcat(destination, source);
}

char* Strncat(char* destination, const char* source, size_t count)
{
    return std::strncat(destination, source, count);
}

const char* Strrchr(const char* text, int character)
{
    return std::strrchr(text, character);
}

const char* Strstr(const char* text, const char* part)
{
    return std::strstr(text, part);
}

int Strcmp(const char* a, const char* b)
{
    return std::strcmp(a, b);
}

int Strncmp(const char* a, const char* b, size_t count)
{
    return std::strncmp(a, b, count);
}

size_t Strlen(const char* text)
{
    return std::strlen(text);
}

char* Strtok(char* text, const char* delimiters)
{
    return std::strtok(text, delimiters);
}

int Sscanf(const char* text, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int n = std::vsscanf(text, format, arguments);
    va_end(arguments);
    return n;
}

// Case changes are ASCII only, whatever the locale: names in files were made that way.
int Fold(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

const StringFunctions kDefaults = {
    Sprintf,
    Vsprintf,
    Strcpy,
    Strncpy,
    Strcat,
    Strncat,
    Strrchr,
    StringFunctions::FindChar,
    Strstr,
    Strcmp,
    Strncmp,
    StringFunctions::CompareNoCase,
    Strlen,
    StringFunctions::ToUpper,
    StringFunctions::ToLower,
    Strtok,
    Sscanf,
};

} // namespace

const StringFunctions* StringFunctions::Defaults()
{
    return &kDefaults;
}

int StringFunctions::CompareNoCase(const char* a, const char* b)
{
    if (!a || !b)
        return 0;
    for (;; ++a, ++b)
    {
        int ca = Fold(static_cast<unsigned char>(*a));
        int cb = Fold(static_cast<unsigned char>(*b));
        if (ca != cb || ca == 0)
            return ca - cb;
    }
}

char* StringFunctions::ToUpper(char* text)
{
    if (!text)
        return nullptr;
    for (char* p = text; *p; ++p)
        if (*p >= 'a' && *p <= 'z')
            *p = char(*p - ('a' - 'A'));
    return text;
}

char* StringFunctions::ToLower(char* text)
{
    if (!text)
        return nullptr;
    for (char* p = text; *p; ++p)
        if (*p >= 'A' && *p <= 'Z')
            *p = char(*p + ('a' - 'A'));
    return text;
}

const char* StringFunctions::FindChar(const char* text, int character)
{
    char c = char(character);
    if (c == 0)
        return nullptr;
    return std::strchr(text, c);
}
