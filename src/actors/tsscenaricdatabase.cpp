// The scenario database reader.
#include "tsscenaricdatabase.h"

#include "hbchunkstream.h"
#include "hbcommand.h"
#include "hbresource.h"
#include "tsscenaricmarks.h"

#include <string>

HB_DEFINE_CLASS_DESC(TsScenaricDataBase, YoScenaricDataBase);
HB_REGISTER_RESOURCE_TYPE(TsScenaricDataBase, "SCE");
HB_QUEUE_CLASS_ID(TsScenaricDataBase::kChunkId, "src\\tsscenaricdatabase");

namespace
{
const HbClassDesc* SectionClass(uint32_t section)
{
    switch (section)
    {
    case 9:
        return &AlarmMark::sClassDesc;
    case 10:
        return &AmbushMark::sClassDesc;
    case 1:
        return &YoScenaricMark::sClassDesc;
    case 11:
        return &ActorMark::sClassDesc;
    case 13:
        return &GenericDofMark::sClassDesc;
    case 14:
        return &SoundMark::sClassDesc;
    case 15:
        return &SearchMark::sClassDesc;
    case 16:
        return &ActionMark::sClassDesc;
    case 17:
        return &RespawnMark::sClassDesc;
    case 18:
        return &PatrolMark::sClassDesc;
    case TsScenaricDataBase::kPathSection:
        return &YoScenaricPath::sClassDesc;
    default:
        return nullptr;
    }
}

void Log(const std::string& text)
{
    HbCommandDebugOutput(text.c_str());
}
} // namespace

int TsScenaricDataBase::Load(HbStream* stream, const char*)
{
    auto* chunks = dynamic_cast<HbMChunkStream*>(stream);
    return chunks ? LoadFromChunks(chunks) : 0;
}

int32_t TsScenaricDataBase::LoadFromChunks(HbMChunkStream* stream)
{
    HbChunkHeaderFields header;
    if (!stream->FindChunkHeader(kChunkId, 0, 0, &header))
        return 0;
    int32_t ok = 1;
    for (uint32_t section : kSectionOrder)
    {
        if (!stream->FindChunkHeader(kChunkId, section, 0, &header))
            continue;
        // Every entry takes at least its identifier's zero byte.
        ok = int64_t(header.value) <= YoStreamRemaining(stream) ? ReadSection(stream, section, header.value) : 0;
        // A section with no entries is left too, so the next one is searched after it.
        stream->LeaveChunk();
        if (!ok)
        {
            Log("Scenario database: section " + std::to_string(section) + " is cut short\n");
            break;
        }
    }
    stream->LeaveChunk();
    return ok;
}

int32_t TsScenaricDataBase::ReadSection(HbMChunkStream* stream, uint32_t section, uint32_t count)
{
    HbResourceManager* resources = HbResourceManager::Instance();
    const HbClassDesc* expected = SectionClass(section);
    for (uint32_t i = 0; i < count; ++i)
    {
        std::string identifier;
        if (!HbReadCString(stream, identifier))
            return 0;
        // Held while read: a wrong object (a shared sound, the database itself) goes back
        // untouched.
        HbRoot* object = resources ? resources->AcquireResource(identifier.c_str()) : nullptr;
        if (!object || !HbClassDesc::IsKindOf(object, expected))
        {
            // Entries carry no length: the rest of the section cannot be found again.
            Log("Scenario database: " + identifier + " is not an object of section " + std::to_string(section) +
                "; the rest of the section is skipped\n");
            if (object)
                object->Release();
            mRejected += int32_t(count - i);
            return 1;
        }
        auto* path = HbCastTo<YoScenaricPath>(object);
        auto* mark = HbCastTo<YoScenaricMark>(object);
        const int32_t read = path ? path->ReadData(stream) : mark->ReadData(stream);
        if (!read)
        {
            object->Release();
            return 0;
        }
        if (object->GetStatus() != kHbStatusReady)
        {
            object->Release();
            continue;
        }
        // The database takes its own reference when it stores the entry.
        if (path)
            AddPath(path);
        else
            AddMark(mark);
        object->Release();
    }
    return 1;
}
