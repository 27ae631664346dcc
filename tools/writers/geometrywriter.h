// Writes geometry chunks (with their material lists) from plain descriptions, for the
// sample content and the tests: the engine itself only reads geometries.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct GeometryDescription
{
    struct Triangle
    {
        uint16_t v0, v1, v2;
        int16_t material; ///< -1: none
    };
    struct MorphTarget
    {
        std::array<float, 4> sphere;  ///< centre, radius
        std::vector<float> positions; ///< 3 per vertex, or empty
        std::vector<float> normals;   ///< 3 per vertex, or empty
    };
    struct Material
    {
        std::array<uint8_t, 4> colour = {255, 255, 255, 255}; ///< RGBA
        float ambient = 1.0f, specular = 1.0f, diffuse = 1.0f;
        std::string texture;                       ///< the texture's name; empty: none
        std::string mask;                          ///< its mask's name
        uint32_t textureFilterAddressing = 0x1101; ///< filter mode, address U and V words
        std::vector<uint8_t> extension;            ///< the extension chunk's body: plug-in sub-chunks
    };

    uint32_t format = 0x2; ///< geometry format flags as stored
    int32_t numVertices = 0;
    std::vector<std::array<uint8_t, 4>> prelit; ///< per vertex, when the format has prelit colours
    std::vector<std::vector<float>> texCoords;  ///< per set, 2 per vertex
    std::vector<Triangle> triangles;
    std::vector<MorphTarget> targets; ///< at least one
    std::vector<Material> materials;  ///< distinct materials
    /// The list's entries as indices into materials; a material named again is stored once.
    std::vector<int32_t> listEntries;
    /// Raw sub-chunks of the geometry's extension chunk (each with its own header).
    std::vector<uint8_t> extension;
    uint32_t version = 0x36003;
    /// The older layout: the struct chunk holds the head alone and the arrays follow it.
    bool arraysAfterStruct = false;
};

struct GeometryWriter
{
    /// The whole geometry chunk (type 15) with its header.
    static std::vector<uint8_t> Write(const GeometryDescription& geometry);
    /// A material list chunk (type 8) with its header.
    static std::vector<uint8_t> WriteMaterialList(const std::vector<GeometryDescription::Material>& materials,
                                                  const std::vector<int32_t>& entries, uint32_t version = 0x36003);
    /// A mesh sub-chunk (plug-in 1294) for the extension: meshes of (material index, indices).
    static std::vector<uint8_t>
    WriteMeshExtension(uint32_t flags, const std::vector<std::pair<int32_t, std::vector<uint32_t>>>& meshes);

    // ---- Material effects -----------------------------------------------------------------------
    /// A material extension sub-chunk (plug-in 288) of a bump-map effect: the bumpiness as
    /// drawn (stored negated), no drawn texture, and the bump map as a texture chunk of that
    /// name and filter word, so the reader builds the drawn texture from the base and the map.
    static std::vector<uint8_t> WriteMatFxBump(float bumpiness, const std::string& bumpMap,
                                               uint32_t filterAddressing = 0x1101);
    /// The atomic (or world-sector) extension sub-chunk (plug-in 288) that switches the object
    /// to the effect pipelines.
    static std::vector<uint8_t> WriteMatFxFlag();
};
