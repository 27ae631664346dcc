// The user-data plug-in: seven kinds of engine object (geometries, world sectors, frames,
// cameras, lights, materials, textures) carry named arrays of integers, reals or strings
// that a content tool attached; they are read, copied, written back and freed with the object.
#pragma once

#include <cstdint>

struct PluginRegistry;
struct Stream;

enum UserDataFormat : int32_t
{
    kUserDataNone = 0, ///< an empty record; never written
    kUserDataInt = 1,
    kUserDataReal = 2,
    kUserDataString = 3,
};

/// One named array. Every pointer is owned by the record.
struct UserDataArray
{
    char* name; ///< zero-terminated, or null
    int32_t format;
    int32_t elementCount;
    void* data; ///< int32_t[], float[] or char*[] (each string may be null); or null
};

/// The extension on each of the seven object types.
struct UserDataExtension
{
    int32_t count;
    UserDataArray* arrays;
};

struct UserData
{
    static constexpr int32_t kPluginId = 287;

    /// Registers the engine plug-in (no block) and the extension with its stream callbacks on
    /// the seven object types, stopping at the first refusal; only between Engine::Init and
    /// Engine::Open. 1, or 0.
    static int32_t Attach();
    /// The object's extension; registry is the object type's (Frame::Registry() ...). Null
    /// when the plug-in is not registered there.
    static UserDataExtension* Get(void* object, const PluginRegistry* registry);
    /// Appends a record with elementCount zeroed elements (no strings); null when out of memory.
    static UserDataArray* AddArray(UserDataExtension* extension, const char* name, int32_t format,
                                   int32_t elementCount);
    /// Replaces string element index of a format 3 record with a copy (null: absent). 1, or 0.
    static int32_t SetString(UserDataArray* array, int32_t index, const char* string);

    static void* Construct(void* object, int32_t offset, int32_t size);
    static void* Destruct(void* object, int32_t offset, int32_t size);
    /// Frees the destination's arrays, then copies the source's in depth.
    static void* Copy(void* destination, const void* source, int32_t offset, int32_t size);
    /// Reads the sub-chunk's arrays. Every count and length is checked against the bytes the
    /// sub-chunk still holds; names and strings are zero-terminated. Reading stops at the
    /// first bad record (format other than 1 to 3, short data), keeping the records read in
    /// full. The stream, always, left at the sub-chunk's end.
    static Stream* StreamRead(Stream* stream, int32_t length, void* object, int32_t offset, int32_t size);
    static Stream* StreamWrite(Stream* stream, int32_t length, const void* object, int32_t offset, int32_t size);
    /// 0 without arrays; else the bytes StreamWrite produces.
    static int32_t StreamGetSize(const void* object, int32_t offset, int32_t size);

    /// Engine open and close only count opens.
    static void* EngineOpen(void* engine, int32_t offset, int32_t size);
    static void* EngineClose(void* engine, int32_t offset, int32_t size);
    static int32_t GetOpenCount();
};
