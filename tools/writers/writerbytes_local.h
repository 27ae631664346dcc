// The byte builder the writers share: little-endian words, halves and reals, and chunk
// headers stamped with a library version, appended to one growing buffer.
#pragma once

#include "chunk.h"

#include <cstdint>
#include <cstring>
#include <vector>

struct WriterBytes
{
    std::vector<uint8_t> out;

    void U32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(v >> (8 * i)));
    }
    void U16(uint16_t v)
    {
        out.push_back(uint8_t(v));
        out.push_back(uint8_t(v >> 8));
    }
    void Real(float f)
    {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        U32(v);
    }
    void Header(uint32_t type, size_t size, uint32_t version = kLibraryVersion)
    {
        U32(type);
        U32(uint32_t(size));
        U32(LibraryStamp::Encode(version, kLibraryBuild));
    }
    void Append(const std::vector<uint8_t>& more) { out.insert(out.end(), more.begin(), more.end()); }
    void Chunk(uint32_t type, const std::vector<uint8_t>& more, uint32_t version = kLibraryVersion)
    {
        Header(type, more.size(), version);
        Append(more);
    }
};
