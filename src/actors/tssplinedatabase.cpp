// The spline database: its registrations, its reader and its slots.
#include "tssplinedatabase.h"

#include "hbcommand.h"
#include "hbresource.h"
#include "hbstream.h"
#include "splinecurve.h"
#include "stream.h"

#include <string>

namespace
{

bool ReadLE(Stream* stream, uint32_t* value, uint32_t bytes)
{
    uint8_t data[4] = {};
    if (Stream::Read(stream, data, bytes) != bytes)
        return false;
    *value = 0;
    for (uint32_t i = 0; i < bytes; ++i)
        *value |= uint32_t(data[i]) << (8 * i);
    return true;
}

} // namespace

HB_DEFINE_CLASS_DESC(TsSplineDataBase, HbRoot);
HB_QUEUE_CLASS_ID(4972, "src\\tssplinedatabase");
HB_REGISTER_RESOURCE_TYPE(TsSplineDataBase, "SDB");

TsSplineDataBase::~TsSplineDataBase()
{
    for (int32_t slot = 0; slot < kSlotCount; ++slot)
        FreeSlot(slot);
}

void TsSplineDataBase::FreeSlot(int32_t slot)
{
    if (TsSplineEntry* entry = mEntries[slot])
    {
        if (entry->spline)
            SplineCurve::Destroy(entry->spline);
        delete entry;
        mEntries[slot] = nullptr;
    }
}

int TsSplineDataBase::Load(HbStream* stream, const char* name)
{
    HbResourceStream* resource = HbResourceStream::From(stream);
    Stream* engine = resource ? resource->GetEngineStream() : nullptr;
    return engine ? LoadFromEngineStream(engine, name) : 0;
}

int32_t TsSplineDataBase::LoadFromEngineStream(Stream* stream, const char* name)
{
    const std::string what = std::string("SDB ") + (name ? name : "") + ": ";
    uint32_t word = 0, count = 0;
    if (!ReadLE(stream, &word, 2) || word != 0)
    {
        HbCommandDebugOutput((what + "not a spline database\n").c_str());
        return 0;
    }
    if (!ReadLE(stream, &count, 2) || int16_t(count) < 0)
    {
        HbCommandDebugOutput((what + "no entry count\n").c_str());
        return 0;
    }
    for (int32_t i = 0; i < int16_t(count); ++i)
    {
        uint32_t slot = 0, size = 0, value = 0;
        if (!ReadLE(stream, &slot, 4))
        {
            HbCommandDebugOutput((what + "the data ends before entry " + std::to_string(i) + "\n").c_str());
            break;
        }
        // Without its chunk the entry has no spline; the search has used up the data.
        if (!Stream::FindChunk(stream, SplineCurve::kChunkType, &size, nullptr))
        {
            HbCommandDebugOutput((what + "entry " + std::to_string(i) + " has no spline\n").c_str());
            break;
        }
        SplineCurve* spline = SplineCurve::StreamRead(stream, size);
        if (!spline || !ReadLE(stream, &value, 4))
        {
            if (spline)
                SplineCurve::Destroy(spline);
            HbCommandDebugOutput((what + "entry " + std::to_string(i) + " is cut short\n").c_str());
            break;
        }
        const int32_t index = int32_t(slot);
        if (index < 0 || index >= kSlotCount)
        {
            HbCommandDebugOutput((what + "slot " + std::to_string(index) + " is no slot\n").c_str());
            SplineCurve::Destroy(spline);
            continue;
        }
        FreeSlot(index);
        mEntries[index] = new TsSplineEntry{spline, int32_t(value)};
    }
    return 1;
}

const TsSplineEntry* TsSplineDataBase::GetSpline(int32_t index) const
{
    return index >= 0 && index < kSlotCount ? mEntries[index] : nullptr;
}
