// Writes scenario databases: the level's ("SCE", outer chunk 5440) and the plain mark and
// path database ("YDB", outer chunk 4160, a marks section 1 and a paths section 2). Both hold
// numbered sections of entries (a resource identifier, then the object's data), marks with
// their kind's extra values and paths with their chunk 4128 of mark names.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

/// One extra value of a mark: a 32-bit integer, a 32-bit real or a string.
struct ScenarioValue
{
    enum Type
    {
        kInt,
        kReal,
        kString,
    };
    Type type = kInt;
    int32_t i = 0;
    float f = 0.0f;
    std::string s;

    static ScenarioValue Int(int32_t v) { return {kInt, v, 0.0f, {}}; }
    static ScenarioValue Real(float v) { return {kReal, 0, v, {}}; }
    static ScenarioValue Str(std::string v) { return {kString, 0, 0.0f, std::move(v)}; }
};

struct ScenarioMarkEntry
{
    std::string identifier;
    std::string name;
    /// right, up, at, position rows.
    std::array<float, 12> matrix = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    /// After the name and matrix, as the kind reads them.
    std::vector<ScenarioValue> extras;

    void SetPosition(float x, float y, float z) { matrix[9] = x, matrix[10] = y, matrix[11] = z; }
};

struct ScenarioPathEntry
{
    std::string identifier;
    std::string name;
    std::vector<std::string> markNames;
    /// -1: the number of names; otherwise written as the chunk's count as it stands.
    int64_t count = -1;
};

struct ScenarioSection
{
    uint32_t number = 1;
    std::vector<ScenarioMarkEntry> marks;
    std::vector<ScenarioPathEntry> paths;
    /// -1: the number of entries; otherwise written as the section's count as it stands.
    int64_t count = -1;
};

struct ScenarioDbWriter
{
    /// The extras of the kinds that read some.
    static std::vector<ScenarioValue> Ambush(int32_t mode) { return {ScenarioValue::Int(0), ScenarioValue::Int(mode)}; }
    static std::vector<ScenarioValue> Patrol(float seconds)
    {
        return {ScenarioValue::Int(0), ScenarioValue::Real(seconds)};
    }
    /// A flag that is not 0 stops the reader there: the three values are not written.
    static std::vector<ScenarioValue> Respawn(int32_t flag, int32_t unlimited, float delaySeconds, int32_t uses);

    static constexpr uint32_t kSceChunk = 5440;
    static constexpr uint32_t kYdbChunk = 4160;

    /// The database's bytes, sections in the given order (marks first, then paths, within a
    /// section). Empty when a string is longer than the reader takes.
    static std::vector<uint8_t> Bytes(const std::vector<ScenarioSection>& sections, uint32_t chunk = kSceChunk);
    /// A "YDB" database: the marks in section 1, the paths in section 2 (a section without
    /// entries is not written unless its count is given).
    static std::vector<uint8_t> YdbBytes(const std::vector<ScenarioMarkEntry>& marks,
                                         const std::vector<ScenarioPathEntry>& paths, int64_t markCount = -1,
                                         int64_t pathCount = -1);
};
