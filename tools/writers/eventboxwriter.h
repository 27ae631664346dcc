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

/// The field layouts of the game's action and condition kinds, as the reader expects them.
struct EBoxKinds
{
    // ---- Actions (delay first) ----
    /// EBXBHVACTION with its parameters chunk; counts above 127 are written as given (a
    /// refused object), lists then hold fewer items than their count says.
    static EBoxObjectEntry Behaviour(float delay, const std::string& actor, const std::string& behaviour,
                                     const std::vector<std::string>& strings = {}, const std::vector<float>& reals = {},
                                     const std::vector<int32_t>& integers = {}, int32_t stringCount = -1);
    /// EBXBHVACTION as a bare behaviour name without the chunk.
    static EBoxObjectEntry BareBehaviour(float delay, const std::string& actor, const std::string& behaviour);
    /// The inventory action kinds with one item name (key: EBXPHYSINVENADDACTION,
    /// EBXGLLOGINVADDACTION, EBXGLLOGINVREMOVEACTION, EBXSECTLOGINVENADDACTION,
    /// EBXSECTLOGINVREMOVEACTION).
    static EBoxObjectEntry Inventory(const std::string& key, float delay, const std::string& item);
    static EBoxObjectEntry PhysicalRemove(float delay, const std::string& item, const std::string& second);
    static EBoxObjectEntry Camera(float delay, const std::string& name, float first, float second);
    static EBoxObjectEntry Command(float delay, const std::string& line);

    // ---- Conditions (expected result first) ----
    static EBoxObjectEntry ObjectiveDone(int32_t expected, int32_t index);
    static EBoxObjectEntry ActorBehaviour(int32_t expected, const std::string& actor, const std::string& behaviour);
    /// The one-string kinds: EBXPHYSINVCOND, EBXGLOBALLOGINVCOND, EBXSECTORLOGINVCOND,
    /// EBOXOBJECTUSECONDITION, EBXACTNAMECOND, EBXACTTYPECOND.
    static EBoxObjectEntry Named(const std::string& key, int32_t expected, const std::string& name);
    /// EBXPHYSINVOCCCOND, EBXGLLOGINVOCCCOND, EBXSECTLOGINVOCCCOND.
    static EBoxObjectEntry Occurrences(const std::string& key, int32_t expected, const std::string& item, int32_t mode,
                                       int32_t count);
    static EBoxObjectEntry LookAt(int32_t expected, int32_t sourceKind, int32_t targetKind, const std::string& source,
                                  const std::string& target, float threshold);
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
