// The scenario database's maps and lookups.
#include "yoscenaricdatabase.h"

#include "hbchunkstream.h"
#include "hbcommand.h"
#include "hbresource.h"
#include "yoscenaricmark.h"

HB_DEFINE_CLASS_DESC(YoScenaricDataBase, HbRoot);
HB_REGISTER_RESOURCE_TYPE(YoScenaricDataBase, "YDB");

namespace
{
void ReleaseAll(StringHashMap& map)
{
    HbPosition position = map.GetStartPosition();
    std::string key;
    void* value = nullptr;
    while (map.GetNextAssoc(position, key, value))
        static_cast<HbRoot*>(value)->Release();
    map.RemoveAll();
}

int32_t Store(StringHashMap& map, const std::string& name, HbRoot* object)
{
    if (!object || map.Find(name))
        return 0;
    void** slot = map.FindOrInsert(name);
    if (!slot)
        return 0;
    *slot = object;
    object->AddRef();
    return 1;
}
} // namespace

YoScenaricDataBase::~YoScenaricDataBase()
{
    ReleaseAll(mMarks);
    ReleaseAll(mPaths);
}

int32_t YoScenaricDataBase::AddMark(YoScenaricMark* mark)
{
    return mark ? Store(mMarks, mark->mName, mark) : 0;
}

int32_t YoScenaricDataBase::AddPath(YoScenaricPath* path)
{
    return path ? Store(mPaths, path->mName, path) : 0;
}

YoScenaricMark* YoScenaricDataBase::FindMark(const char* name)
{
    if (!name)
        return nullptr;
    if (mLastMark && mLastName == name)
        return mLastMark;
    ++mMarkLookups;
    mLastMark = static_cast<YoScenaricMark*>(mMarks.Lookup(name));
    mLastName = name;
    return mLastMark;
}

YoScenaricPath* YoScenaricDataBase::FindPath(const char* name) const
{
    return name ? static_cast<YoScenaricPath*>(mPaths.Lookup(name)) : nullptr;
}

// ---- Reading the "YDB" layout -------------------------------------------------------------------

int YoScenaricDataBase::Load(HbStream* stream, const char*)
{
    auto* chunks = dynamic_cast<HbMChunkStream*>(stream);
    return chunks ? Read(chunks) : 0;
}

int32_t YoScenaricDataBase::Read(HbMChunkStream* stream)
{
    HbChunkHeaderFields header;
    if (!stream->FindChunkHeader(kChunkId, 0, 0, &header))
        return 0;
    // A chunk that claims more than the data holds was cut short.
    int32_t ok = int64_t(header.size) <= YoStreamRemaining(stream) ? 1 : 0;
    for (uint32_t section : {kMarkSection, kPathSection})
    {
        if (!ok || !stream->FindChunkHeader(kChunkId, section, 0, &header))
            continue;
        // Every entry takes at least its identifier's zero byte.
        const int64_t remaining = YoStreamRemaining(stream);
        ok = int64_t(header.size) <= remaining && int64_t(header.value) <= remaining
                 ? ReadSection(stream, section, header.value)
                 : 0;
        // A section counting no entries is left too, so the next one is searched after it.
        stream->LeaveChunk();
        if (!ok)
        {
            HbCommandDebugOutput("Scenario data: a section of the database is cut short\n");
            break;
        }
    }
    stream->LeaveChunk();
    return ok;
}

int32_t YoScenaricDataBase::ReadSection(HbMChunkStream* stream, uint32_t section, uint32_t count)
{
    HbResourceManager* resources = HbResourceManager::Instance();
    const HbClassDesc* expected = section == kMarkSection ? &YoScenaricMark::sClassDesc : &YoScenaricPath::sClassDesc;
    for (uint32_t i = 0; i < count; ++i)
    {
        std::string identifier;
        if (!HbReadCString(stream, identifier))
            return 0;
        HbRoot* object = resources ? resources->GetResource(identifier.c_str()) : nullptr;
        if (!object || !HbClassDesc::IsKindOf(object, expected))
        {
            // Entries carry no length: the rest of the section cannot be found again. A
            // shared object belongs to its other holders (no reference was taken here); a
            // fresh or cloned one is ours alone.
            HbCommandDebugOutput(("Scenario data: " + identifier + " makes no object of its section\n").c_str());
            if (object && !object->IsShared())
                object->Release();
            return 1;
        }
        auto* path = HbCastTo<YoScenaricPath>(object);
        auto* mark = HbCastTo<YoScenaricMark>(object);
        if (!(path ? path->ReadData(stream) : mark->ReadData(stream)))
        {
            if (!object->IsShared())
                object->Release();
            return 0;
        }
        object = HbResource::KeepIfReady(object);
        if (!object)
            continue;
        const int32_t stored = Replace(path ? mPaths : mMarks, path ? path->mName : mark->mName, object);
        if (!stored && !object->IsShared())
            object->Release();
    }
    return 1;
}

int32_t YoScenaricDataBase::Replace(StringHashMap& map, const std::string& name, HbRoot* object)
{
    void** slot = map.FindOrInsert(name);
    if (!slot)
        return 0;
    auto* old = static_cast<HbRoot*>(*slot);
    if (old == object)
        return 1;
    object->AddRef();
    *slot = object;
    if (old)
    {
        // The cache must not keep a mark that is about to go.
        if (old == mLastMark)
            mLastMark = nullptr;
        old->Release();
    }
    return 1;
}

// ---- The dump ---------------------------------------------------------------------------------------

int YoScenaricDataBase::WriteChunks(HbMChunkStream* stream)
{
    int ok = stream->BeginChunk(kChunkId, 0, 0, 1) != 0;
    for (uint32_t section : {kMarkSection, kPathSection})
    {
        const bool marks = section == kMarkSection;
        ok = stream->BeginChunk(kChunkId, section, 0, 1) != 0 && ok;
        const StringHashMap& map = marks ? mMarks : mPaths;
        HbPosition position = map.GetStartPosition();
        std::string key;
        void* value = nullptr;
        while (ok && map.GetNextAssoc(position, key, value))
        {
            ok = HbWriteCStringToStream(stream, marks ? "_TSMARK" : "_TSPATH");
            ok = ok && (marks ? static_cast<YoScenaricMark*>(value)->Write(stream)
                              : static_cast<YoScenaricPath*>(value)->Write(stream));
        }
        stream->EndChunk();
    }
    stream->EndChunk();
    return ok;
}
