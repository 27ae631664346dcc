// The event-box set writer.
#include "eventboxwriter.h"

#include "hbchunkstream.h"
#include "skeletonwriter.h"

#include <cstring>

namespace
{
int WriteObjects(HbMChunkStream* stream, uint32_t key1, int64_t count, const std::vector<EBoxObjectEntry>& objects)
{
    int ok = stream->BeginChunk(EventBoxWriter::kChunkId, key1, 0, uint32_t(count)) != 0;
    for (const EBoxObjectEntry& object : objects)
    {
        const std::string type = "_" + object.key;
        ok = ok && HbWriteCStringToStream(stream, type.c_str());
        ok = ok && stream->WriteBytes(object.fields.data(), object.fields.size()) == object.fields.size();
    }
    return stream->EndChunk() != 0 && ok;
}

int64_t CountOf(int64_t given, size_t listed)
{
    return given < 0 ? int64_t(listed) : given;
}
} // namespace

std::vector<uint8_t> EBoxObjectEntry::Int(int32_t value)
{
    const uint32_t v = uint32_t(value);
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

std::vector<uint8_t> EBoxObjectEntry::Real(float value)
{
    int32_t bits = 0;
    std::memcpy(&bits, &value, sizeof(bits));
    return Int(bits);
}

std::vector<uint8_t> EBoxObjectEntry::Str(const std::string& text)
{
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

EBoxObjectEntry EBoxObjectEntry::Action(const std::string& key, float delay, const std::vector<uint8_t>& extra)
{
    EBoxObjectEntry entry{key, Real(delay)};
    entry.fields.insert(entry.fields.end(), extra.begin(), extra.end());
    return entry;
}

EBoxObjectEntry EBoxObjectEntry::Condition(const std::string& key, int32_t expected, const std::vector<uint8_t>& extra)
{
    EBoxObjectEntry entry{key, Int(expected)};
    entry.fields.insert(entry.fields.end(), extra.begin(), extra.end());
    return entry;
}

std::vector<uint8_t> EventBoxWriter::Bytes(const std::vector<EBoxEntry>& boxes, int64_t boxCount)
{
    auto* buffer = new VectorStreamBuf();
    HbMChunkStream stream(buffer);
    int ok = stream.WriteInt32(int32_t(CountOf(boxCount, boxes.size())));
    ok = stream.BeginChunk(kChunkId, 0, 0, 1) != 0 && ok;
    for (const EBoxEntry& box : boxes)
    {
        const int64_t c = CountOf(box.conditionCount, box.conditions.size());
        const int64_t a = CountOf(box.actionCount, box.actions.size());
        const int64_t e = CountOf(box.elseCount, box.elseActions.size());
        ok = stream.BeginChunk(kChunkId, 1, 0, 1) != 0 && ok;
        ok = stream.BeginChunk(kChunkId, 2, 0, 1) != 0 && ok;
        for (float v : box.centre)
            ok = ok && stream.WriteReal(v);
        for (float v : box.size)
            ok = ok && stream.WriteReal(v);
        ok = ok && stream.WriteInt32(int32_t(c)) && stream.WriteInt32(int32_t(a)) && stream.WriteInt32(int32_t(e)) &&
             stream.WriteInt32(box.mode);
        ok = stream.EndChunk() != 0 && ok;
        if (c > 0)
            ok = WriteObjects(&stream, 3, c, box.conditions) && ok;
        if (a > 0)
            ok = WriteObjects(&stream, 4, a, box.actions) && ok;
        if (c > 0 && e > 0)
            ok = WriteObjects(&stream, 5, e, box.elseActions) && ok;
        ok = stream.EndChunk() != 0 && ok;
    }
    ok = stream.EndChunk() != 0 && ok;
    return ok ? buffer->Bytes() : std::vector<uint8_t>();
}
