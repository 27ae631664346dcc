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

// ---- The game's kinds ----------------------------------------------------------------------------

namespace
{
using Bytes = std::vector<uint8_t>;

void Append(Bytes& to, const Bytes& more)
{
    to.insert(to.end(), more.begin(), more.end());
}

/// A framework chunk header and its content, as the chunk stream's writer would put it.
Bytes Chunk(uint32_t id, const Bytes& content)
{
    Bytes out;
    const uint32_t size = uint32_t(content.size());
    const uint32_t value = 1;
    const uint32_t reserved = 0xFFFFFFFFu;
    const uint32_t checksum = id + size + 0 + 0 + value + reserved + 0xAE420u;
    for (uint32_t word : {id, size, 0u, 0u, value, reserved, checksum})
        Append(out, EBoxObjectEntry::Int(int32_t(word)));
    Append(out, content);
    return out;
}
} // namespace

EBoxObjectEntry EBoxKinds::Behaviour(float delay, const std::string& actor, const std::string& behaviour,
                                     const std::vector<std::string>& strings, const std::vector<float>& reals,
                                     const std::vector<int32_t>& integers, int32_t stringCount)
{
    Bytes content = EBoxObjectEntry::Str(behaviour);
    content.push_back(uint8_t(stringCount < 0 ? int32_t(strings.size()) : stringCount));
    for (const std::string& text : strings)
        Append(content, EBoxObjectEntry::Str(text));
    content.push_back(uint8_t(reals.size()));
    for (float value : reals)
        Append(content, EBoxObjectEntry::Real(value));
    content.push_back(uint8_t(integers.size()));
    for (int32_t value : integers)
        Append(content, EBoxObjectEntry::Int(value));
    Bytes fields = EBoxObjectEntry::Str(actor);
    Append(fields, Chunk(4929, content));
    return EBoxObjectEntry::Action("EBXBHVACTION", delay, fields);
}

EBoxObjectEntry EBoxKinds::BareBehaviour(float delay, const std::string& actor, const std::string& behaviour)
{
    Bytes fields = EBoxObjectEntry::Str(actor);
    Append(fields, EBoxObjectEntry::Str(behaviour));
    return EBoxObjectEntry::Action("EBXBHVACTION", delay, fields);
}

EBoxObjectEntry EBoxKinds::Inventory(const std::string& key, float delay, const std::string& item)
{
    return EBoxObjectEntry::Action(key, delay, EBoxObjectEntry::Str(item));
}

EBoxObjectEntry EBoxKinds::PhysicalRemove(float delay, const std::string& item, const std::string& second)
{
    Bytes fields = EBoxObjectEntry::Str(item);
    Append(fields, EBoxObjectEntry::Str(second));
    return EBoxObjectEntry::Action("EBXPHYSINVREMOVEACTION", delay, fields);
}

EBoxObjectEntry EBoxKinds::Camera(float delay, const std::string& name, float first, float second)
{
    Bytes content = EBoxObjectEntry::Str(name);
    Append(content, EBoxObjectEntry::Real(first));
    Append(content, EBoxObjectEntry::Real(second));
    return EBoxObjectEntry::Action("SCECAMERAACTION", delay, Chunk(4928, content));
}

EBoxObjectEntry EBoxKinds::Command(float delay, const std::string& line)
{
    return EBoxObjectEntry::Action("SCEEXECHBCMD", delay, Chunk(4930, EBoxObjectEntry::Str(line)));
}

EBoxObjectEntry EBoxKinds::ObjectiveDone(int32_t expected, int32_t index)
{
    return EBoxObjectEntry::Condition("EBXOBJECTIFCOND", expected, EBoxObjectEntry::Int(index));
}

EBoxObjectEntry EBoxKinds::ActorBehaviour(int32_t expected, const std::string& actor, const std::string& behaviour)
{
    Bytes fields = EBoxObjectEntry::Str(actor);
    Append(fields, EBoxObjectEntry::Str(behaviour));
    return EBoxObjectEntry::Condition("EBOXACTORBHVCOND", expected, fields);
}

EBoxObjectEntry EBoxKinds::Named(const std::string& key, int32_t expected, const std::string& name)
{
    return EBoxObjectEntry::Condition(key, expected, EBoxObjectEntry::Str(name));
}

EBoxObjectEntry EBoxKinds::Occurrences(const std::string& key, int32_t expected, const std::string& item, int32_t mode,
                                       int32_t count)
{
    Bytes fields = EBoxObjectEntry::Str(item);
    Append(fields, EBoxObjectEntry::Int(mode));
    Append(fields, EBoxObjectEntry::Int(count));
    return EBoxObjectEntry::Condition(key, expected, fields);
}

EBoxObjectEntry EBoxKinds::LookAt(int32_t expected, int32_t sourceKind, int32_t targetKind, const std::string& source,
                                  const std::string& target, float threshold)
{
    Bytes fields = EBoxObjectEntry::Int(sourceKind);
    Append(fields, EBoxObjectEntry::Int(targetKind));
    Append(fields, EBoxObjectEntry::Str(source));
    Append(fields, EBoxObjectEntry::Str(target));
    Append(fields, EBoxObjectEntry::Real(threshold));
    return EBoxObjectEntry::Condition("EBXLOOKATCOND", expected, fields);
}
