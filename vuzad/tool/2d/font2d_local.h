// The font module's state shared by its files: the font pool, the font path, the quad index
// table, the font texture dictionary and the code list a read fills.
#pragma once

#include <cstddef>
#include <cstdint>

struct Font2d;
struct FreeList;
struct TextureDictionary;

namespace font2d
{

constexpr int32_t kQuadsPerBatch = 64;
/// Glyph indices are 16-bit signed in the code maps.
constexpr int32_t kMaxGlyphs = 0x7FFF;

struct Module
{
    FreeList* fonts = nullptr;
    char* path = nullptr;
    size_t pathCapacity = 0;
    uint16_t quadIndices[kQuadsPerBatch * 6] = {};
    TextureDictionary* dictionary = nullptr;
    int32_t* codes = nullptr; // by glyph index, -1 where none
    int32_t codeCapacity = 0;
};

Module& Get();

} // namespace font2d
