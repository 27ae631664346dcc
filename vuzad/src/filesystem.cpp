// The engine's default file functions over the C runtime's stdio, and the path test.
#include "filesystem.h"

#include "engine.h"

#include <cstdio>

namespace
{

FILE* Crt(void* file)
{
    return static_cast<FILE*>(file);
}

void* Open(const char* name, const char* mode)
{
    return std::fopen(name, mode);
}

// Through the current table's open, so a replaced open is honoured.
int32_t Exists(const char* name)
{
    const FileFunctions* table = FileSystem::GetFunctions();
    if (!table)
        table = FileSystem::DefaultFunctions();
    void* file = table->open(name, "rb");
    if (!file)
        return 0;
    table->close(file);
    return 1;
}

int32_t Close(void* file)
{
    return std::fclose(Crt(file));
}

size_t Read(void* buffer, size_t size, size_t count, void* file)
{
    return std::fread(buffer, size, count, Crt(file));
}

size_t Write(const void* buffer, size_t size, size_t count, void* file)
{
    return std::fwrite(buffer, size, count, Crt(file));
}

char* Gets(char* buffer, int32_t length, void* file)
{
    return std::fgets(buffer, length, Crt(file));
}

int32_t Puts(const char* text, void* file)
{
    return std::fputs(text, Crt(file));
}

int32_t Eof(void* file)
{
    return std::feof(Crt(file));
}

int32_t Seek(void* file, int64_t offset, int32_t origin)
{
    return std::fseek(Crt(file), long(offset), origin);
}

int32_t Flush(void* file)
{
    return std::fflush(Crt(file));
}

int64_t Tell(void* file)
{
    return std::ftell(Crt(file));
}

const FileFunctions kRuntimeFunctions = {Exists, Open, Close, Read, Write, Gets, Puts, Eof, Seek, Flush, Tell};

} // namespace

const FileFunctions* FileSystem::DefaultFunctions()
{
    return &kRuntimeFunctions;
}

FileFunctions* FileSystem::GetFunctions()
{
    Engine* engine = Engine::Current();
    return engine ? &engine->fileFunctions : nullptr;
}

int32_t Path::IsAbsolute(const char* name)
{
    if (!name)
        return 0;
    if (name[0] == '\\')
        return 1;
    bool letter = (name[0] >= 'a' && name[0] <= 'z') || (name[0] >= 'A' && name[0] <= 'Z');
    return letter && name[1] == ':' ? 1 : 0;
}
