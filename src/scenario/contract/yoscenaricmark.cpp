// Scenario marks and paths.
#include "yoscenaricmark.h"

#include "hbchunkstream.h"
#include "hbresource.h"
#include "hbstream.h"

HB_DEFINE_CLASS_DESC(YoScenaricMark, HbRoot);
HB_DEFINE_CLASS_DESC(YoScenaricPath, HbRoot);
HB_REGISTER_RESOURCE_TYPE(YoScenaricMark, "YOSCENARICMARK");
HB_REGISTER_RESOURCE_TYPE(YoScenaricPath, "YOSCENARICPATH");

int64_t YoStreamRemaining(HbMChunkStream* stream)
{
    const int64_t position = stream->Tell();
    int64_t end = stream->GetBuffer() ? stream->GetBuffer()->Size() : -1;
    const uint32_t limit = stream->GetLimit();
    if (limit != kHbNoChunkLimit && (end < 0 || int64_t(limit) < end))
        end = int64_t(limit);
    if (position < 0 || end < position)
        return 0;
    return end - position;
}

YoScenaricMark::YoScenaricMark()
{
    mMatrix = {};
    mMatrix.right = {1.0f, 0.0f, 0.0f};
    mMatrix.up = {0.0f, 1.0f, 0.0f};
    mMatrix.at = {0.0f, 0.0f, 1.0f};
    mMatrix.pos = {0.0f, 0.0f, 0.0f};
    mMatrix.flags = 0x20003;
}

int YoScenaricMark::Load(HbStream*, const char*)
{
    return 1;
}

int32_t YoScenaricMark::ReadData(HbMChunkStream* stream)
{
    return HbReadCString(stream, mName) && HbReadMatrix(stream, mMatrix) ? 1 : 0;
}

YoScenaricPath::~YoScenaricPath()
{
    for (int32_t i = 0; i < mMarks.GetCount(); ++i)
        static_cast<YoScenaricMark*>(mMarks[i])->Release();
}

int YoScenaricPath::Load(HbStream*, const char*)
{
    return 1;
}

int32_t YoScenaricPath::ReadData(HbMChunkStream* stream)
{
    mMarkNames.clear();
    if (!HbReadCString(stream, mName))
        return 0;
    HbChunkHeaderFields header;
    if (!stream->FindChunkHeader(kNamesChunk, 0, 1, &header))
        return 0;
    // Every name takes at least its zero byte: a larger count cannot be what the chunk holds.
    int32_t ok = int64_t(header.value) <= YoStreamRemaining(stream) ? 1 : 0;
    for (uint32_t i = 0; ok && i < header.value; ++i)
    {
        std::string name;
        ok = HbReadCString(stream, name);
        if (ok)
            mMarkNames.push_back(std::move(name));
    }
    stream->LeaveChunk();
    return ok;
}

void YoScenaricPath::AddMark(YoScenaricMark* mark)
{
    if (!mark || mMarks.Add(mark) < 0)
        return;
    mark->AddRef();
    switch (mark->GetKind())
    {
    case YoScenaricMark::kAlarmKind:
        mAlarmMarks.Add(mark);
        break;
    case YoScenaricMark::kAmbushKind:
        mAmbushMarks.Add(mark);
        break;
    case YoScenaricMark::kSearchKind:
        mSearchMarks.Add(mark);
        break;
    case YoScenaricMark::kRespawnKind:
        mRespawnMarks.Add(mark);
        break;
    default:
        break;
    }
}

int32_t YoScenaricMark::Write(HbStream* stream) const
{
    return HbWriteCStringToStream(stream, "_YOSCENARICMARK") && HbWriteCStringToStream(stream, mName.c_str()) &&
                   HbWriteMatrix(stream, mMatrix)
               ? 1
               : 0;
}

int32_t YoScenaricPath::Write(HbMChunkStream* stream) const
{
    int32_t ok = stream->BeginChunk(kNamesChunk, 0, 1, 1) != 0;
    for (int32_t i = 0; ok && i < mMarks.GetCount(); ++i)
        ok = HbWriteCStringToStream(stream, "_YOSCENARICPATH") &&
             static_cast<const YoScenaricMark*>(mMarks[i])->Write(stream);
    stream->EndChunk();
    return ok;
}
