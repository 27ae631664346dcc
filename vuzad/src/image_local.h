// Inside the image module: its block in the engine instance, shared by the files that
// hold the image operations.
#pragma once

#include "image.h"
#include "memory.h"

#include <cstdint>

struct FreeList;

// Memory hints: images carry the image chunk type, module buffers the module's id.
constexpr uint32_t kImageChunkType = 0x18;
constexpr uint32_t kImageObjectHint = kMemoryHintObject | kImageChunkType;
constexpr uint32_t kImageBufferHint = kMemoryHintResize | kMemoryHintEngine | kImageChunkType;
constexpr uint32_t kImageModuleHint = kMemoryHintEngine | uint32_t(Image::kPluginId);
constexpr uint32_t kImagePathHint = kMemoryHintResize | kMemoryHintEngine | uint32_t(Image::kPluginId);
constexpr uint32_t kImageFormatHint = kMemoryHintObject | uint32_t(Image::kPluginId);

struct ImageModuleBlock
{
    FreeList* images;
    FreeList* formats;
    ImageFormat* formatList; ///< newest first
    char* path;              ///< ';'-separated prefixes
    int32_t pathSize;
    char* scratch; ///< candidate file names
    int32_t scratchSize;
    float gamma;
    uint8_t gammaTable[256];
};

/// The open module's block, or null while the module is closed.
ImageModuleBlock* ImageModule();
