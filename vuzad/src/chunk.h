// Chunk headers and string chunks: the 12-byte {type, size, library stamp} header that
// starts every chunk of the engine's files, the stamp's version and build rules, and the
// chunks that carry names.
#pragma once

#include <cstddef>
#include <cstdint>

struct Stream;

constexpr uint32_t kChunkHeaderSize = 12;

/// Every chunk the engine writes carries this version and build.
constexpr uint32_t kLibraryVersion = 0x36003;
constexpr uint32_t kLibraryBuild = 0xFFFF;
/// Readers accept versions from kOldestReadableVersion to kLibraryVersion.
constexpr uint32_t kOldestReadableVersion = 0x34000;

enum ChunkType : uint32_t
{
    kChunkStruct = 1, ///< the fixed-size body of an object
    kChunkString = 2,
    kChunkExtension = 3, ///< plug-in data
    kChunkCamera = 5,
    kChunkTexture = 6,
    kChunkMatrix = 13,
    kChunkFrameList = 14,
    kChunkWideString = 19, ///< 16-bit characters; readers keep the low byte
};

/// The library stamp: bits 31..22 (version - 0x30000) >> 8, bits 21..16 the version's low
/// six bits, bits 15..0 the build. A stamp with its upper 16 bits clear is of the older
/// form and holds the version shifted right by 8, with no build.
struct LibraryStamp
{
    static uint32_t Encode(uint32_t version, uint32_t build);
    static void Decode(uint32_t stamp, uint32_t* version, uint32_t* build)
    {
        if ((stamp & 0xFFFF0000) == 0)
        {
            *version = stamp << 8;
            *build = 0;
            return;
        }
        *version = 0x30000 + ((stamp >> 22) << 8) + ((stamp >> 16) & 0x3F);
        *build = stamp & 0xFFFF;
    }
    static bool IsReadable(uint32_t version) { return version >= kOldestReadableVersion && version <= kLibraryVersion; }
    /// IsReadable of the stamp's version without decoding it: the stamp's upper half grows
    /// with the version, so one range check answers (the older form, upper half 0, holds
    /// the version over 256).
    static bool IsReadableStamp(uint32_t stamp)
    {
        const uint32_t high = stamp >> 16;
        if (high == 0)
            return stamp - (kOldestReadableVersion >> 8) <= (kLibraryVersion >> 8) - (kOldestReadableVersion >> 8);
        return high - High(kOldestReadableVersion) <= High(kLibraryVersion) - High(kOldestReadableVersion);
    }

private:
    /// The upper half of the stamp of a version (from 0x30000 on).
    static constexpr uint32_t High(uint32_t version)
    {
        return (((version + 0x10000) >> 8) & 0x3FF) << 6 | (version & 0x3F);
    }
};

/// String chunks: the characters, a zero and padding to a multiple of 4 (type 2), or
/// 16-bit characters (type 19, read only).
struct StringChunk
{
    /// Body size of the string's chunk: (length + 4) rounded down to a multiple of 4; a
    /// null string counts as empty.
    static uint32_t GetSize(const char* string);
    /// The characters, then zeros up to the padded size. The string, or null.
    static const char* Write(const char* string, Stream* stream);
    /// Skips chunks of other types up to a string chunk and reads it. With a buffer, a
    /// string that does not fit bufferSize with its terminator is refused (0x8000001A);
    /// the buffer always ends up terminated (empty on failure). Without one, a buffer of
    /// the string's size is allocated through the engine's memory, the caller's to free.
    /// The buffer, or null; every header must carry a readable version (0x80000004).
    static char* Read(char* buffer, size_t bufferSize, Stream* stream);
};
