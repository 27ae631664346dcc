// Levels, light fields and animated-texture lists.
#include "levelwriter.h"

#include "writerbytes_local.h"

namespace
{
constexpr uint32_t kLevelChunk = 4097;
constexpr uint32_t kChecksumSeed = 713760;
constexpr uint32_t kReserved = 0xFFFFFFFF;
constexpr uint32_t kLightFieldChunk = 0x37280579;

void String(WriterBytes& b, const std::string& text)
{
    b.out.insert(b.out.end(), text.begin(), text.end());
    b.out.push_back(0);
}

void Matrix(WriterBytes& b, const LevelMatrix& m)
{
    for (float v : m)
        b.Real(v);
}

std::vector<uint8_t> Names(const std::vector<std::string>& names)
{
    WriterBytes b;
    for (const std::string& name : names)
        String(b, name);
    return b.out;
}
} // namespace

std::vector<uint8_t> LevelWriter::Chunk(uint32_t id, uint32_t key1, uint32_t key2, uint32_t value,
                                        const std::vector<uint8_t>& contents)
{
    WriterBytes b;
    const uint32_t size = uint32_t(contents.size());
    b.U32(id);
    b.U32(size);
    b.U32(key1);
    b.U32(key2);
    b.U32(value);
    b.U32(kReserved);
    b.U32(id + size + key1 + key2 + value + kReserved + kChecksumSeed);
    b.Append(contents);
    return b.out;
}

std::vector<uint8_t> LevelWriter::Write(const LevelDescription& level)
{
    if (!level.root)
        return {};
    WriterBytes inner;
    auto names = [&](uint32_t key1, const std::vector<std::string>& list)
    {
        if (!list.empty())
            inner.Append(Chunk(kLevelChunk, key1, 0, uint32_t(list.size()), Names(list)));
    };
    names(3, level.worlds);
    names(4, level.skies);
    names(10, level.lightFields);
    if (!level.lights.empty())
    {
        WriterBytes b;
        for (const LevelDescription::Light& light : level.lights)
        {
            String(b, light.name);
            for (float v : light.colour)
                b.Real(v);
            Matrix(b, light.matrix);
        }
        inner.Append(Chunk(kLevelChunk, 2, 0, uint32_t(level.lights.size()), b.out));
    }
    if (!level.objects.empty())
    {
        WriterBytes b;
        for (const LevelDescription::Object& object : level.objects)
        {
            String(b, object.name);
            Matrix(b, object.matrix);
        }
        inner.Append(Chunk(kLevelChunk, 6, 1, uint32_t(level.objects.size()), b.out));
    }
    if (level.clip)
    {
        WriterBytes b;
        b.Real((*level.clip)[0]);
        b.Real((*level.clip)[1]);
        inner.Append(Chunk(kLevelChunk, 8, 0, 1, b.out));
    }
    names(9, level.collisionWorlds);
    return Chunk(kLevelChunk, 0, 0, 1, inner.out);
}

std::vector<uint8_t> LightFieldWriter::Write(const LightFieldDescription& field)
{
    WriterBytes body;
    for (int i = 0; i < 4; ++i)
        body.out.push_back(uint8_t(field.magic[i]));
    body.U32(0);
    body.U32(0);
    for (int axis = 0; axis < 3; ++axis)
    {
        body.U32(uint32_t(field.min[axis]));
        body.U32(uint32_t(field.max[axis]));
    }
    body.U32(uint32_t(field.step));
    body.U32(uint32_t(field.stride));
    body.U32(uint32_t(field.skip));
    body.out.resize(body.out.size() + size_t(field.skip > 0 ? field.skip : 0), 0);
    for (const std::array<float, 9>& record : field.records)
    {
        for (float v : record)
            body.Real(v);
        if (field.stride > 36)
            body.out.resize(body.out.size() + size_t(field.stride - 36), 0);
    }
    WriterBytes chunk;
    chunk.Chunk(kLightFieldChunk, body.out);
    return chunk.out;
}

std::vector<uint8_t> WatWriter::WriteBody(const WatDescription& body)
{
    WriterBytes b;
    b.U32(uint32_t(body.version));
    b.U32(uint32_t(body.loop));
    b.U32(uint32_t(body.frames.size()));
    for (const WatDescription::Frame& frame : body.frames)
    {
        String(b, frame.texture);
        if (body.version == 1)
            b.U32(uint32_t(int32_t(frame.duration)));
        else
            b.Real(frame.duration);
    }
    return b.out;
}

std::vector<uint8_t> WatWriter::WriteList(const WatListDescription& list)
{
    WriterBytes b;
    b.U32(uint32_t(list.entries.size()));
    for (const WatListDescription::Entry& entry : list.entries)
    {
        b.U32(entry.empty ? 1 : 0);
        if (entry.empty)
            continue;
        String(b, entry.name);
        b.U32(uint32_t(entry.autoplay));
        b.Append(WriteBody(entry.body));
    }
    return b.out;
}
