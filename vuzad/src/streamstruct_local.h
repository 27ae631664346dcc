// The struct chunk that opens the stream form of a core object: found, version-checked and
// read whole into a record of 32-bit little-endian words.
#pragma once

#include "chunk.h"
#include "error.h"
#include "stream.h"

#include <cstdint>

namespace streamstruct
{

/// Reads a body of exactly recordSize bytes into record (zeroed by the caller). A body of
/// another size fails with 0x8000001A: a shorter one is read as far as it goes (fields
/// behind it stay 0), a longer one is not read at all. False on failure.
inline bool ReadBody(Stream* stream, void* record, uint32_t recordSize)
{
    uint32_t size = 0;
    if (!Stream::FindChunk(stream, kChunkStruct, &size, nullptr))
        return false;
    if (size != recordSize)
    {
        if (size < recordSize)
            Stream::ReadWords(stream, record, size & ~3u);
        Error::Report(kCorePluginId, Error::MakeCode(kErrStreamRead));
        return false;
    }
    return Stream::ReadWords(stream, record, recordSize) != nullptr;
}

} // namespace streamstruct
