// Writers of the renderer's read-only formats: levels (framework chunk streams), light fields
// (one engine chunk), animated-texture bodies and the ".wat" lists that carry them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// Twelve reals: right, up, at, position.
using LevelMatrix = std::array<float, 12>;
constexpr LevelMatrix kLevelIdentity = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};

struct LevelDescription
{
    struct Light
    {
        std::string name;
        std::array<float, 4> colour = {1, 1, 1, 1};
        LevelMatrix matrix = kLevelIdentity;
    };
    struct Object
    {
        std::string name;
        LevelMatrix matrix = kLevelIdentity;
    };
    bool root = true; ///< false: no root chunk at all
    std::vector<std::string> worlds;
    std::vector<std::string> skies;
    std::vector<std::string> lightFields;
    std::vector<Light> lights;
    std::vector<Object> objects;
    std::optional<std::array<float, 2>> clip; ///< near, far
    std::vector<std::string> collisionWorlds;
};

struct LevelWriter
{
    /// The level's chunk stream, chunks in the order the reader looks for them; empty lists
    /// give no chunk.
    static std::vector<uint8_t> Write(const LevelDescription& level);
    /// One framework chunk: the 28-byte header {id, size, key1, key2, value, reserved,
    /// checksum} and the contents.
    static std::vector<uint8_t> Chunk(uint32_t id, uint32_t key1, uint32_t key2, uint32_t value,
                                      const std::vector<uint8_t>& contents);
};

struct LightFieldDescription
{
    std::array<int32_t, 3> min = {0, 0, 0};
    std::array<int32_t, 3> max = {0, 0, 0};
    int32_t step = 1;
    int32_t stride = 48; ///< bytes per record, the nine reals first
    int32_t skip = 0;    ///< bytes between the header and the first record
    /// Direction xyz, directional rgb, ambient rgb per grid point, x slowest, z fastest.
    std::vector<std::array<float, 9>> records;
    const char* magic = "LSD\x1A";
};

struct LightFieldWriter
{
    /// The light-field chunk (engine chunk 0x37280579).
    static std::vector<uint8_t> Write(const LightFieldDescription& field);
};

struct WatDescription
{
    struct Frame
    {
        std::string texture;
        float duration; ///< seconds (version 0) or milliseconds (version 1)
    };
    int32_t version = 0;
    int32_t loop = 1;
    std::vector<Frame> frames;
};

struct WatListDescription
{
    struct Entry
    {
        bool empty = false; ///< an empty slot: nothing else is written
        std::string name;
        int32_t autoplay = 1;
        WatDescription body;
    };
    std::vector<Entry> entries;
};

struct WatWriter
{
    /// A WAT body (also a "WAT" resource file).
    static std::vector<uint8_t> WriteBody(const WatDescription& body);
    /// A ".wat" list.
    static std::vector<uint8_t> WriteList(const WatListDescription& list);
};
