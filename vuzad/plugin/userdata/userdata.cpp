// The user-data plug-in: its attach, the extension's life and its stream form.
#include "userdata.h"

#include "byteorder.h"
#include "camera.h"
#include "engine.h"
#include "frame.h"
#include "geometry.h"
#include "light.h"
#include "material.h"
#include "memory.h"
#include "plugin.h"
#include "stream.h"
#include "texture.h"
#include "world.h"

#include <cstring>

namespace
{
constexpr uint32_t kMemoryHintArrays = 0x3011F;
constexpr uint32_t kMemoryHintStrings = 0x30002;

int32_t sOpenCount = 0;

using RegisterFunction = int32_t (*)(int32_t size, int32_t pluginId, PluginConstructor constructor,
                                     PluginDestructor destructor, PluginCopy copy);
using RegisterStreamFunction = int32_t (*)(int32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                           PluginStreamSize size);

struct Registration
{
    RegisterFunction extension;
    RegisterStreamFunction stream;
};

// In the order the plug-in registers them.
constexpr Registration kRegistrations[] = {
    {Geometry::RegisterPlugin, Geometry::RegisterPluginStream},
    {WorldSector::RegisterPlugin, WorldSector::RegisterPluginStream},
    {Frame::RegisterPlugin, Frame::RegisterPluginStream},
    {Camera::RegisterPlugin, Camera::RegisterPluginStream},
    {Light::RegisterPlugin, Light::RegisterPluginStream},
    {Material::RegisterPlugin, Material::RegisterPluginStream},
    {Texture::RegisterPlugin, Texture::RegisterPluginStream},
};

UserDataExtension* Extension(const void* object, int32_t offset)
{
    return reinterpret_cast<UserDataExtension*>(const_cast<char*>(static_cast<const char*>(object)) + offset);
}

char* CopyString(const char* string)
{
    if (!string)
        return nullptr;
    const size_t length = std::strlen(string) + 1;
    auto* copy = static_cast<char*>(Memory::Allocate(length, kMemoryHintStrings));
    if (copy)
        std::memcpy(copy, string, length);
    return copy;
}

void FreeRecord(UserDataArray* record)
{
    Memory::Free(record->name);
    if (record->format == kUserDataString && record->data)
    {
        auto** strings = static_cast<char**>(record->data);
        for (int32_t i = 0; i < record->elementCount; ++i)
            Memory::Free(strings[i]);
    }
    Memory::Free(record->data);
    *record = UserDataArray{};
}

void FreeArrays(UserDataExtension* ext)
{
    for (int32_t i = 0; i < ext->count; ++i)
        FreeRecord(&ext->arrays[i]);
    Memory::Free(ext->arrays);
    *ext = UserDataExtension{0, nullptr};
}

size_t ElementBytes(int32_t format)
{
    return format == kUserDataString ? sizeof(char*) : format == kUserDataInt || format == kUserDataReal ? 4 : 0;
}

/// The sub-chunk's bytes, consumed only through these calls so that every claimed length is
/// compared with what is left before it is believed.
struct Reader
{
    Stream* stream;
    uint32_t left;

    bool Word(uint32_t* value)
    {
        uint8_t b[4];
        if (left < 4 || Stream::Read(stream, b, 4) != 4)
            return false;
        left -= 4;
        *value = ByteOrder::Load32(b);
        return true;
    }

    /// A zero-terminated copy of length stored bytes (their own zero not trusted); null
    /// for length 0. False when the bytes are not there.
    bool Text(uint32_t length, char** out)
    {
        *out = nullptr;
        if (length == 0)
            return true;
        if (length > left)
            return false;
        auto* text = static_cast<char*>(Memory::Allocate(size_t(length) + 1, kMemoryHintArrays));
        if (!text)
            return false;
        if (Stream::Read(stream, text, length) != length)
        {
            Memory::Free(text);
            return false;
        }
        left -= length;
        text[length] = '\0';
        *out = text;
        return true;
    }
};

bool ReadRecord(Reader* in, UserDataArray* record)
{
    uint32_t nameLength, format, count;
    if (!in->Word(&nameLength) || !in->Text(nameLength, &record->name) || !in->Word(&format) || !in->Word(&count))
        return false;
    if (format < kUserDataInt || format > kUserDataString || count > in->left / 4)
        return false;
    record->format = int32_t(format);
    record->elementCount = int32_t(count);
    if (count == 0)
        return true;
    record->data = Memory::AllocateZeroed(count, ElementBytes(record->format), kMemoryHintArrays);
    if (!record->data)
        return false;
    for (uint32_t i = 0; i < count; ++i)
    {
        if (record->format == kUserDataString)
        {
            uint32_t length;
            if (!in->Word(&length) || !in->Text(length, &static_cast<char**>(record->data)[i]))
                return false;
        }
        else if (!in->Word(&static_cast<uint32_t*>(record->data)[i]))
            return false;
    }
    return true;
}

Stream* WriteWord(Stream* stream, uint32_t value)
{
    uint8_t b[4];
    ByteOrder::Store32(b, value);
    return Stream::Write(stream, b, 4);
}

Stream* WriteText(Stream* stream, const char* text)
{
    if (!text)
        return WriteWord(stream, 0);
    const uint32_t length = uint32_t(std::strlen(text) + 1);
    if (!WriteWord(stream, length))
        return nullptr;
    return Stream::Write(stream, text, length);
}
} // namespace

int32_t UserData::Attach()
{
    if (Engine::RegisterPlugin(0, kPluginId, EngineOpen, EngineClose) < 0)
        return 0;
    for (const Registration& r : kRegistrations)
    {
        if (r.extension(int32_t(sizeof(UserDataExtension)), kPluginId, Construct, Destruct, Copy) < 0)
            return 0;
        if (r.stream(kPluginId, StreamRead, StreamWrite, StreamGetSize) < 0)
            return 0;
    }
    return 1;
}

UserDataExtension* UserData::Get(void* object, const PluginRegistry* registry)
{
    const int32_t offset = PluginRegistry::GetPluginOffset(registry, kPluginId);
    return offset < 0 ? nullptr : Extension(object, offset);
}

UserDataArray* UserData::AddArray(UserDataExtension* ext, const char* name, int32_t format, int32_t elementCount)
{
    if (elementCount < 0 || format < kUserDataNone || format > kUserDataString)
        return nullptr;
    auto* arrays = static_cast<UserDataArray*>(
        Memory::Reallocate(ext->arrays, sizeof(UserDataArray) * size_t(ext->count + 1), kMemoryHintArrays));
    if (!arrays)
        return nullptr;
    ext->arrays = arrays;
    UserDataArray record{nullptr, format, elementCount, nullptr};
    if ((name && !(record.name = CopyString(name))) ||
        (elementCount > 0 && ElementBytes(format) &&
         !(record.data = Memory::AllocateZeroed(size_t(elementCount), ElementBytes(format), kMemoryHintArrays))))
    {
        FreeRecord(&record);
        return nullptr;
    }
    arrays[ext->count] = record;
    return &arrays[ext->count++];
}

int32_t UserData::SetString(UserDataArray* array, int32_t index, const char* string)
{
    if (array->format != kUserDataString || index < 0 || index >= array->elementCount || !array->data)
        return 0;
    char* copy = CopyString(string);
    if (string && !copy)
        return 0;
    auto** strings = static_cast<char**>(array->data);
    Memory::Free(strings[index]);
    strings[index] = copy;
    return 1;
}

void* UserData::Construct(void* object, int32_t offset, int32_t)
{
    *Extension(object, offset) = UserDataExtension{0, nullptr};
    return object;
}

void* UserData::Destruct(void* object, int32_t offset, int32_t)
{
    FreeArrays(Extension(object, offset));
    return object;
}

void* UserData::Copy(void* destination, const void* source, int32_t offset, int32_t)
{
    UserDataExtension* to = Extension(destination, offset);
    const UserDataExtension* from = Extension(source, offset);
    FreeArrays(to);
    if (from->count <= 0 || !from->arrays)
        return destination;
    to->arrays = static_cast<UserDataArray*>(
        Memory::AllocateZeroed(size_t(from->count), sizeof(UserDataArray), kMemoryHintArrays));
    if (!to->arrays)
        return nullptr;
    // Counted as each record is complete, so a failure leaves only whole records to free.
    for (int32_t i = 0; i < from->count; ++i)
    {
        const UserDataArray& s = from->arrays[i];
        UserDataArray& d = to->arrays[i];
        d.format = s.format;
        d.elementCount = s.elementCount;
        bool ok = !s.name || (d.name = CopyString(s.name));
        const size_t bytes = ElementBytes(s.format);
        if (ok && s.data && bytes && s.elementCount > 0)
        {
            d.data = Memory::AllocateZeroed(size_t(s.elementCount), bytes, kMemoryHintArrays);
            ok = d.data != nullptr;
            if (ok && s.format == kUserDataString)
            {
                auto** from = static_cast<char**>(s.data);
                auto** into = static_cast<char**>(d.data);
                for (int32_t k = 0; k < s.elementCount && ok; ++k)
                    ok = !from[k] || (into[k] = CopyString(from[k]));
            }
            else if (ok)
                std::memcpy(d.data, s.data, bytes * size_t(s.elementCount));
        }
        to->count = i + 1;
        if (!ok)
            return nullptr;
    }
    return destination;
}

Stream* UserData::StreamRead(Stream* stream, int32_t length, void* object, int32_t offset, int32_t)
{
    UserDataExtension* ext = Extension(object, offset);
    FreeArrays(ext);
    Reader in{stream, uint32_t(length < 0 ? 0 : length)};
    uint32_t count = 0;
    // Every record takes at least 12 bytes, which bounds the claimed count.
    if (in.Word(&count) && count > 0 && count <= in.left / 12)
    {
        ext->arrays = static_cast<UserDataArray*>(Memory::AllocateZeroed(count, sizeof(UserDataArray), kMemoryHintArrays));
        if (ext->arrays)
            for (uint32_t i = 0; i < count; ++i)
            {
                if (!ReadRecord(&in, &ext->arrays[i]))
                {
                    FreeRecord(&ext->arrays[i]);
                    break;
                }
                ext->count = int32_t(i + 1);
            }
        if (ext->count == 0)
            FreeArrays(ext);
    }
    if (in.left > 0)
        Stream::Skip(stream, in.left);
    return stream;
}

Stream* UserData::StreamWrite(Stream* stream, int32_t, const void* object, int32_t offset, int32_t)
{
    const UserDataExtension* ext = Extension(object, offset);
    uint32_t written = 0;
    for (int32_t i = 0; i < ext->count; ++i)
        written += ext->arrays[i].format != kUserDataNone;
    if (!WriteWord(stream, written))
        return stream;
    for (int32_t i = 0; i < ext->count; ++i)
    {
        const UserDataArray& r = ext->arrays[i];
        if (r.format == kUserDataNone)
            continue;
        if (!WriteText(stream, r.name) || !WriteWord(stream, uint32_t(r.format)) ||
            !WriteWord(stream, uint32_t(r.elementCount)))
            return stream;
        for (int32_t k = 0; k < r.elementCount; ++k)
        {
            Stream* ok;
            if (r.format == kUserDataString)
                ok = WriteText(stream, r.data ? static_cast<char* const*>(r.data)[k] : nullptr);
            else
                ok = WriteWord(stream, r.data ? static_cast<const uint32_t*>(r.data)[k] : 0);
            if (!ok)
                return stream;
        }
    }
    return stream;
}

int32_t UserData::StreamGetSize(const void* object, int32_t offset, int32_t)
{
    const UserDataExtension* ext = Extension(object, offset);
    if (ext->count <= 0 || !ext->arrays)
        return 0;
    int32_t size = 4;
    for (int32_t i = 0; i < ext->count; ++i)
    {
        const UserDataArray& r = ext->arrays[i];
        if (r.format == kUserDataNone)
            continue;
        size += (r.name ? int32_t(std::strlen(r.name)) + 5 : 4) + 8;
        if (r.format == kUserDataString)
            for (int32_t k = 0; k < r.elementCount; ++k)
            {
                const char* s = r.data ? static_cast<char* const*>(r.data)[k] : nullptr;
                size += s ? int32_t(std::strlen(s)) + 5 : 4;
            }
        else
            size += 4 * r.elementCount;
    }
    return size;
}

void* UserData::EngineOpen(void* engine, int32_t, int32_t)
{
    ++sOpenCount;
    return engine;
}

void* UserData::EngineClose(void* engine, int32_t, int32_t)
{
    if (sOpenCount > 0)
        --sOpenCount;
    return engine;
}

int32_t UserData::GetOpenCount()
{
    return sOpenCount;
}
