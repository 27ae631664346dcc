// Writes event-box sets ("YB"): the box count, then the outer chunk 8453 holding one chunk per
// box with its 40-byte header and its conditions, actions and else-actions, each object its
// type string "_" + key followed by its fields.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

/// One object: its type key and the bytes of its fields (the base field first).
struct EBoxObjectEntry
{
    std::string key;
    std::vector<uint8_t> fields;

    /// An action of the key with its delay, then the extra field bytes.
    static EBoxObjectEntry Action(const std::string& key, float delay, const std::vector<uint8_t>& extra = {});
    /// A condition of the key with its expected result, then the extra field bytes.
    static EBoxObjectEntry Condition(const std::string& key, int32_t expected, const std::vector<uint8_t>& extra = {});
    /// Little-endian field bytes.
    static std::vector<uint8_t> Int(int32_t value);
    static std::vector<uint8_t> Real(float value);
    /// The characters and the zero byte.
    static std::vector<uint8_t> Str(const std::string& text);
};

struct EBoxEntry
{
    float centre[3] = {};
    float size[3] = {};
    int32_t mode = 2;
    std::vector<EBoxObjectEntry> conditions;
    std::vector<EBoxObjectEntry> actions;
    std::vector<EBoxObjectEntry> elseActions;
    /// -1: the counts of the lists; otherwise written in the header as they stand.
    int64_t conditionCount = -1;
    int64_t actionCount = -1;
    int64_t elseCount = -1;
};

struct EventBoxWriter
{
    static constexpr uint32_t kChunkId = 8453;

    /// The file's bytes. Sub-chunk 3 holds the conditions when the count is above 0, 4 the
    /// actions when above 0, and 5 the else-actions only when both the condition and the
    /// else-action counts are above 0, so a box without conditions loses its else-actions.
    /// boxCount -1 writes the number of boxes. Empty when a type string is too long.
    static std::vector<uint8_t> Bytes(const std::vector<EBoxEntry>& boxes, int64_t boxCount = -1);
};
