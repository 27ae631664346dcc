// The scenario database writer.
#include "scenariodbwriter.h"

#include "hbchunkstream.h"
#include "skeletonwriter.h"

namespace
{
constexpr uint32_t kNamesChunk = 4128;

/// EndChunk answers the size, which is 0 for an empty chunk as well as on failure.
int End(HbMChunkStream* stream)
{
    const int64_t end = stream->Tell();
    return stream->EndChunk() != 0 || stream->Tell() == end ? 1 : 0;
}

int WriteString(HbStream* stream, const std::string& text)
{
    return HbWriteCStringToStream(stream, text.c_str());
}

int WriteMark(HbStream* stream, const ScenarioMarkEntry& mark)
{
    int ok = WriteString(stream, mark.identifier) && WriteString(stream, mark.name);
    for (float v : mark.matrix)
        ok = ok && stream->WriteReal(v);
    for (const ScenarioValue& value : mark.extras)
    {
        if (value.type == ScenarioValue::kInt)
            ok = ok && stream->WriteInt32(value.i);
        else if (value.type == ScenarioValue::kReal)
            ok = ok && stream->WriteReal(value.f);
        else
            ok = ok && WriteString(stream, value.s);
    }
    return ok;
}

int WritePath(HbMChunkStream* stream, const ScenarioPathEntry& path)
{
    int ok = WriteString(stream, path.identifier) && WriteString(stream, path.name);
    const uint32_t count = path.count < 0 ? uint32_t(path.markNames.size()) : uint32_t(path.count);
    ok = ok && stream->BeginChunk(kNamesChunk, 0, 1, count) != 0;
    for (const std::string& name : path.markNames)
        ok = ok && WriteString(stream, name);
    return End(stream) && ok;
}
} // namespace

std::vector<ScenarioValue> ScenarioDbWriter::Respawn(int32_t flag, int32_t unlimited, float delaySeconds, int32_t uses)
{
    std::vector<ScenarioValue> values = {ScenarioValue::Int(flag)};
    if (flag == 0)
    {
        values.push_back(ScenarioValue::Int(unlimited));
        values.push_back(ScenarioValue::Real(delaySeconds));
        values.push_back(ScenarioValue::Int(uses));
    }
    return values;
}

std::vector<uint8_t> ScenarioDbWriter::YdbBytes(const std::vector<ScenarioMarkEntry>& marks,
                                                const std::vector<ScenarioPathEntry>& paths, int64_t markCount,
                                                int64_t pathCount)
{
    std::vector<ScenarioSection> sections;
    if (!marks.empty() || markCount >= 0)
        sections.push_back({1, marks, {}, markCount});
    if (!paths.empty() || pathCount >= 0)
        sections.push_back({2, {}, paths, pathCount});
    return Bytes(sections, kYdbChunk);
}

std::vector<uint8_t> ScenarioDbWriter::Bytes(const std::vector<ScenarioSection>& sections, uint32_t chunk)
{
    auto* buffer = new VectorStreamBuf();
    HbMChunkStream stream(buffer);
    int ok = stream.BeginChunk(chunk, 0, 0, 1) != 0;
    for (const ScenarioSection& section : sections)
    {
        const size_t entries = section.marks.size() + section.paths.size();
        const uint32_t count = section.count < 0 ? uint32_t(entries) : uint32_t(section.count);
        ok = ok && stream.BeginChunk(chunk, section.number, 0, count) != 0;
        for (const ScenarioMarkEntry& mark : section.marks)
            ok = ok && WriteMark(&stream, mark);
        for (const ScenarioPathEntry& path : section.paths)
            ok = ok && WritePath(&stream, path);
        ok = End(&stream) && ok;
    }
    ok = End(&stream) && ok;
    return ok ? buffer->Bytes() : std::vector<uint8_t>();
}
