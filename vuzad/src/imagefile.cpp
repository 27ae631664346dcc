// Image files: the registered formats, the search path and its candidates, the shared
// scratch name buffer, and reading (with masks) and writing by extension.
#include "image.h"
#include "image_local.h"

#include "engine.h"
#include "error.h"
#include "filesystem.h"
#include "freelist.h"
#include "stringfunctions.h"

#include <cstring>
#include <initializer_list>

namespace
{

constexpr size_t kExtensionChars = 18;

/// The text from the last '.' after the last ':', '/' or '\'; null without one.
const char* ExtensionOf(const char* name)
{
    const char* base = name;
    for (const char* p = name; *p; ++p)
        if (*p == ':' || *p == '/' || *p == '\\')
            base = p + 1;
    return std::strrchr(base, '.');
}

/// The first format whose lower-case or upper-case form is the extension exactly.
ImageFormat* FindFormat(const char* extension, bool needsWriter)
{
    for (ImageFormat* format = ImageModule()->formatList; format; format = format->next)
    {
        if (std::strcmp(format->lowerExtension, extension) != 0 && std::strcmp(format->upperExtension, extension) != 0)
            continue;
        if (!needsWriter || format->writer)
            return format;
    }
    return nullptr;
}

int32_t FileExists(const char* name)
{
    FileFunctions* files = FileSystem::GetFunctions();
    return (files && files->exists) ? files->exists(name) : 0;
}

struct ReadSearch
{
    ImageReader reader;
    Image* image;
};

const char* TryRead(const char* candidate, void* data)
{
    auto* search = static_cast<ReadSearch*>(data);
    if (FileExists(candidate))
        search->image = search->reader(candidate);
    return search->image ? nullptr : candidate;
}

const char* TryExtensions(const char* candidate, void* data)
{
    // The candidate lies in the scratch buffer with room for any extension behind it.
    auto* found = static_cast<const char**>(data);
    char* end = const_cast<char*>(candidate) + std::strlen(candidate);
    for (ImageFormat* format = ImageModule()->formatList; format; format = format->next)
    {
        for (const char* extension : {format->lowerExtension, format->upperExtension})
        {
            std::strcpy(end, extension);
            if (FileExists(candidate))
            {
                *found = extension;
                *end = 0;
                return nullptr;
            }
        }
    }
    *end = 0;
    return candidate;
}

} // namespace

// ---- The search path and the scratch buffer --------------------------------------------------

const char* Image::SetPath(const char* path)
{
    ImageModuleBlock* block = ImageModule();
    if (!block || !path)
        return nullptr;
    size_t needed = std::strlen(path) + 1;
    if (needed > size_t(block->pathSize))
    {
        if (needed > size_t(INT32_MAX))
        {
            Error::Report(0, kErrNoMemory);
            return nullptr;
        }
        auto* grown = static_cast<char*>(Memory::Reallocate(block->path, needed, kImagePathHint));
        if (!grown)
        {
            Error::Report(0, Error::MakeCode(kErrNoMemory, needed));
            return nullptr;
        }
        block->path = grown;
        block->pathSize = int32_t(needed);
    }
    std::memcpy(block->path, path, needed);
    return block->path;
}

const char* Image::GetPath()
{
    ImageModuleBlock* block = ImageModule();
    return block ? block->path : nullptr;
}

char* Image::GetScratchName(int32_t size)
{
    ImageModuleBlock* block = ImageModule();
    if (!block)
        return nullptr;
    if (size > block->scratchSize)
    {
        auto* grown = static_cast<char*>(Memory::Reallocate(block->scratch, size_t(size), kImageBufferHint));
        if (!grown)
        {
            Error::Report(0, Error::MakeCode(kErrNoMemory, size));
            return nullptr;
        }
        block->scratch = grown;
        block->scratchSize = size;
    }
    return block->scratch;
}

const char* Image::ForEachPathCandidate(const char* name, int32_t extra, ImagePathCallback callback, void* data)
{
    ImageModuleBlock* block = ImageModule();
    if (!block || !name || extra < 0)
        return nullptr;
    size_t nameLength = std::strlen(name);
    auto room = [&](size_t prefixLength) -> char*
    {
        size_t size = prefixLength + nameLength + size_t(extra) + 1;
        return size > size_t(INT32_MAX) ? nullptr : GetScratchName(int32_t(size));
    };
    if (Path::IsAbsolute(name) || block->path[0] == 0)
    {
        char* candidate = room(0);
        if (!candidate)
            return nullptr;
        std::memcpy(candidate, name, nameLength + 1);
        callback(candidate, data);
        return name;
    }
    // Each candidate is built afresh: the scratch buffer may move when it grows.
    const char* prefix = block->path;
    while (true)
    {
        const char* separator = std::strchr(prefix, ';');
        size_t prefixLength = separator ? size_t(separator - prefix) : std::strlen(prefix);
        char* candidate = room(prefixLength);
        if (!candidate)
            return nullptr;
        std::memcpy(candidate, prefix, prefixLength);
        std::memcpy(candidate + prefixLength, name, nameLength + 1);
        if (!callback(candidate, data) || !separator)
            break;
        prefix = separator + 1;
    }
    return name;
}

// ---- Formats --------------------------------------------------------------------------------------

int32_t Image::RegisterFileFormat(const char* extension, ImageReader reader, ImageWriter writer)
{
    ImageModuleBlock* block = ImageModule();
    if (!block || !extension)
        return 0;
    char lower[20] = ".";
    std::strncat(lower, extension, kExtensionChars);
    char upper[20];
    std::memcpy(upper, lower, sizeof(upper));
    StringFunctions::ToLower(lower);
    StringFunctions::ToUpper(upper);

    for (ImageFormat* format = block->formatList; format; format = format->next)
    {
        if (std::strcmp(format->lowerExtension, lower) == 0)
        {
            if (reader)
                format->reader = reader;
            if (writer)
                format->writer = writer;
            return 1;
        }
    }
    auto* format =
        static_cast<ImageFormat*>(Engine::Current()->freeListFunctions.take(block->formats, kImageFormatHint));
    if (!format)
        return 0;
    std::memcpy(format->lowerExtension, lower, sizeof(lower));
    std::memcpy(format->upperExtension, upper, sizeof(upper));
    format->reader = reader;
    format->writer = writer;
    format->next = block->formatList;
    block->formatList = format;
    return 1;
}

const char* Image::FindFileExtension(const char* name)
{
    const char* found = nullptr;
    if (!ForEachPathCandidate(name, int32_t(sizeof(ImageFormat::lowerExtension)), TryExtensions, &found))
        return nullptr;
    return found;
}

// ---- Reading and writing ----------------------------------------------------------------------------

Image* Image::Read(const char* name)
{
    if (!ImageModule() || !name)
        return nullptr;
    const char* extension = ExtensionOf(name);
    if (!extension)
        return nullptr;
    ImageFormat* format = FindFormat(extension, false);
    if (!format || !format->reader)
        return nullptr;
    ReadSearch search = {format->reader, nullptr};
    ForEachPathCandidate(name, 5, TryRead, &search);
    return search.image;
}

Image* Image::ReadMasked(const char* name, const char* maskName)
{
    Image* image = Read(name);
    if (!image || !maskName || !maskName[0])
        return image;
    Image* mask = Read(maskName);
    if (!mask)
    {
        Destroy(image);
        return nullptr;
    }
    MakeMask(mask);
    Image* answer = ApplyMask(image, mask);
    Destroy(mask);
    if (!answer)
        Destroy(image);
    return answer;
}

Image* Image::Write(Image* image, const char* name)
{
    if (!ImageModule() || !name)
        return nullptr;
    const char* extension = ExtensionOf(name);
    ImageFormat* format = extension ? FindFormat(extension, true) : nullptr;
    return format ? format->writer(image, name) : nullptr;
}
