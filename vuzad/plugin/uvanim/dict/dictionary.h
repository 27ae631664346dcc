// Dictionaries: named-entry containers whose kind of entry a schema describes (how an entry
// is read, named, referenced and released). A schema keeps the list of its dictionaries and
// the one that is current while objects naming its entries are read.
#pragma once

#include <cstdint>

struct Dictionary;
struct GrowList;
struct Stream;

struct DictionarySchema
{
    const char* name;
    uint32_t dictionaryChunkType; ///< also the owner id of the schema's memory hints
    uint32_t entryChunkType;
    uint32_t currentVersion; ///< struct chunks older than this go to the legacy reader
    GrowList* dictionaries;  ///< every dictionary of the schema; made by Open
    Dictionary* current;     ///< null when none

    void (*addRef)(void* entry);
    int32_t (*release)(void* entry);
    /// The entry's name text.
    const char* (*entryName)(const void* entry);
    int32_t (*entryStreamGetSize)(const void* entry);
    /// Reads an entry chunk body of bodySize bytes whose header was just read; null on failure.
    void* (*entryStreamRead)(Stream* stream, uint32_t bodySize);
    /// Null: older dictionaries are refused.
    Dictionary* (*legacyRead)(Stream* stream);
    int32_t (*entryStreamWrite)(const void* entry, Stream* stream);

    /// Makes the list of dictionaries; no current dictionary. The schema, or null when the
    /// list cannot be made.
    static DictionarySchema* Open(DictionarySchema* schema);
    /// Drops the list (not the dictionaries in it) and the current dictionary. 1.
    static int32_t Close(DictionarySchema* schema);
    static DictionarySchema* SetCurrent(DictionarySchema* schema, Dictionary* dictionary);
    static Dictionary* GetCurrent(const DictionarySchema* schema) { return schema->current; }
    /// Dictionaries of the schema alive now.
    static int32_t GetDictionaryCount(const DictionarySchema* schema);
};

struct Dictionary
{
    DictionarySchema* schema;
    GrowList* entries; ///< entry pointers; the dictionary holds one reference on each

    static constexpr int32_t kPluginId = 447;

    /// The first entry, in reading order, whose name equals name (case-sensitive); null when
    /// none does or either argument is null.
    static void* FindEntry(const Dictionary* dictionary, const char* name);
    /// The stream stands at the body of a dictionary chunk of bodySize bytes (the caller found
    /// its header). The dictionary, linked into the schema's list, or null with nothing left
    /// behind: out of memory is {447, 0x80000013}; an older struct version without a legacy
    /// reader, a count the body cannot hold or any entry that does not read give null.
    static Dictionary* StreamRead(DictionarySchema* schema, Stream* stream, uint32_t bodySize);
    /// Stops being current, leaves the schema's list and releases its reference on every
    /// entry. 1.
    static int32_t Destroy(Dictionary* dictionary);
    static int32_t GetEntryCount(const Dictionary* dictionary);
    static void* GetEntry(const Dictionary* dictionary, int32_t index);
};
