// Dictionaries and their schemas: reading a dictionary chunk, finding entries by name,
// destroying a dictionary with its references.
#include "dictionary.h"

#include "byteorder.h"
#include "chunk.h"
#include "engine.h"
#include "error.h"
#include "growlist.h"
#include "memory.h"
#include "stream.h"

#include <cstring>

namespace
{
uint32_t ListHint(const DictionarySchema* schema)
{
    return 0x40000u | (schema->dictionaryChunkType & 0xFFFF);
}

uint32_t RecordHint(const DictionarySchema* schema)
{
    return 0x30000u | (schema->dictionaryChunkType & 0xFFFF);
}

// Skips chunks of other types until one of type within the remaining bytes of the enclosing
// body; a chunk that claims more than remains, or of a version no reader knows, is damaged.
// Leaves the stream at the body.
bool FindWithin(Stream* stream, uint32_t type, uint32_t* remaining, uint32_t* size, uint32_t* version)
{
    while (*remaining >= kChunkHeaderSize)
    {
        uint32_t t = 0, s = 0, v = 0;
        if (!Stream::ReadChunkHeader(stream, &t, &s, &v, nullptr))
            return false;
        *remaining -= kChunkHeaderSize;
        if (s > *remaining)
            return false;
        if (t == type)
        {
            if (!LibraryStamp::IsReadable(v))
                return false;
            *size = s;
            *version = v;
            return true;
        }
        if (!Stream::Skip(stream, s))
            return false;
        *remaining -= s;
    }
    return false;
}

void ReleaseEntries(Dictionary* dictionary)
{
    const int32_t count = GrowList::GetCount(dictionary->entries);
    for (int32_t i = 0; i < count; ++i)
        dictionary->schema->release(Dictionary::GetEntry(dictionary, i));
}

// Takes the dictionary out of its schema: not current any more, and the last list pointer
// moves into its place.
void Unlink(Dictionary* dictionary)
{
    DictionarySchema* schema = dictionary->schema;
    if (schema->current == dictionary)
        schema->current = nullptr;
    GrowList* list = schema->dictionaries;
    if (!list)
        return;
    const int32_t count = GrowList::GetCount(list);
    for (int32_t i = 0; i < count; ++i)
    {
        auto** slot = static_cast<Dictionary**>(GrowList::GetEntry(list, i));
        if (*slot == dictionary)
        {
            *slot = *static_cast<Dictionary**>(GrowList::GetEntry(list, count - 1));
            GrowList::RemoveLast(list, 1);
            return;
        }
    }
}

void Free(Dictionary* dictionary)
{
    if (dictionary->entries)
        GrowList::Destroy(dictionary->entries);
    Memory::Free(dictionary);
}
} // namespace

// ---- Schemas ------------------------------------------------------------------------------------------

DictionarySchema* DictionarySchema::Open(DictionarySchema* schema)
{
    schema->current = nullptr;
    schema->dictionaries = GrowList::Create(int32_t(sizeof(Dictionary*)), ListHint(schema));
    return schema->dictionaries ? schema : nullptr;
}

int32_t DictionarySchema::Close(DictionarySchema* schema)
{
    if (schema->dictionaries)
        GrowList::Destroy(schema->dictionaries);
    schema->dictionaries = nullptr;
    schema->current = nullptr;
    return 1;
}

DictionarySchema* DictionarySchema::SetCurrent(DictionarySchema* schema, Dictionary* dictionary)
{
    schema->current = dictionary;
    return schema;
}

int32_t DictionarySchema::GetDictionaryCount(const DictionarySchema* schema)
{
    return schema->dictionaries ? GrowList::GetCount(schema->dictionaries) : 0;
}

// ---- Dictionaries --------------------------------------------------------------------------------------

int32_t Dictionary::GetEntryCount(const Dictionary* dictionary)
{
    return GrowList::GetCount(dictionary->entries);
}

void* Dictionary::GetEntry(const Dictionary* dictionary, int32_t index)
{
    return *static_cast<void**>(GrowList::GetEntry(dictionary->entries, index));
}

void* Dictionary::FindEntry(const Dictionary* dictionary, const char* name)
{
    if (!dictionary || !name)
        return nullptr;
    Engine* engine = Engine::Current();
    auto compare = engine && engine->stringFunctions.strcmp ? engine->stringFunctions.strcmp : std::strcmp;
    const int32_t count = GetEntryCount(dictionary);
    for (int32_t i = 0; i < count; ++i)
    {
        void* entry = GetEntry(dictionary, i);
        const char* entryName = dictionary->schema->entryName(entry);
        if (entryName && compare(entryName, name) == 0)
            return entry;
    }
    return nullptr;
}

Dictionary* Dictionary::StreamRead(DictionarySchema* schema, Stream* stream, uint32_t bodySize)
{
    if (!schema || !stream || !schema->dictionaries)
        return nullptr;
    uint32_t remaining = bodySize;
    uint32_t structSize = 0, version = 0;
    if (!FindWithin(stream, kChunkStruct, &remaining, &structSize, &version))
        return nullptr;
    if (version < schema->currentVersion)
        return schema->legacyRead ? schema->legacyRead(stream) : nullptr;
    uint8_t countBytes[4];
    if (structSize < 4 || Stream::Read(stream, countBytes, 4) != 4)
        return nullptr;
    // The struct holds only the count; anything after it is passed over.
    if (structSize > 4 && !Stream::Skip(stream, structSize - 4))
        return nullptr;
    remaining -= structSize;
    const uint32_t count = ByteOrder::Load32(countBytes);
    // Every entry is at least a chunk header: a count the body cannot hold is refused
    // before anything is made.
    if (count > remaining / kChunkHeaderSize)
        return nullptr;

    auto* dictionary = static_cast<Dictionary*>(Memory::AllocateZeroed(1, sizeof(Dictionary), RecordHint(schema)));
    if (!dictionary)
    {
        Error::Report(kPluginId, kErrNoMemory);
        return nullptr;
    }
    dictionary->schema = schema;
    dictionary->entries = GrowList::Create(int32_t(sizeof(void*)), RecordHint(schema));
    auto** link = dictionary->entries
                      ? static_cast<Dictionary**>(GrowList::AddEntry(schema->dictionaries, ListHint(schema)))
                      : nullptr;
    if (!link)
    {
        Error::Report(kPluginId, kErrNoMemory);
        Free(dictionary);
        return nullptr;
    }
    *link = dictionary;

    for (uint32_t i = 0; i < count; ++i)
    {
        uint32_t size = 0, entryVersion = 0;
        void* entry = FindWithin(stream, schema->entryChunkType, &remaining, &size, &entryVersion)
                          ? schema->entryStreamRead(stream, size)
                          : nullptr;
        if (entry)
            remaining -= size;
        auto** slot =
            entry ? static_cast<void**>(GrowList::AddEntry(dictionary->entries, RecordHint(schema))) : nullptr;
        if (!slot)
        {
            if (entry)
                schema->release(entry);
            Unlink(dictionary);
            ReleaseEntries(dictionary);
            Free(dictionary);
            return nullptr;
        }
        *slot = entry;
        // The reader's reference is the one the dictionary keeps.
        schema->addRef(entry);
        schema->release(entry);
    }
    return dictionary;
}

int32_t Dictionary::Destroy(Dictionary* dictionary)
{
    if (!dictionary)
        return 1;
    Unlink(dictionary);
    ReleaseEntries(dictionary);
    Free(dictionary);
    return 1;
}
