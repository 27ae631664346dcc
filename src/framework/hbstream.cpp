// File streams, resource streams (a file shared with an engine stream) and the
// vector and matrix transfers.
#include "hbstream.h"

#include "matrix.h"
#include "stream.h"
#include "vector.h"

#include <bit>
#include <cstring>
#include <sys/stat.h>

// ---- HbFileStream ---------------------------------------------------------------------------------

HbFileStream::~HbFileStream()
{
    if (mFile)
        HbFileClose(mFile);
}

int HbFileStream::Open(const char* path, const char* mode)
{
    if (mFile)
        Close();
    if (!path || !mode)
        return 0;
    mFile = HbFileOpen(path, mode);
    return mFile ? 1 : 0;
}

int HbFileStream::Close()
{
    if (!mFile)
        return 0;
    int result = HbFileClose(mFile);
    mFile = nullptr;
    return result == 0 ? 1 : 0;
}

size_t HbFileStream::Read(void* destination, size_t count)
{
    return mFile ? HbFileRead(destination, 1, count, mFile) : 0;
}

size_t HbFileStream::Write(const void* source, size_t count)
{
    return mFile ? HbFileWrite(source, 1, count, mFile) : 0;
}

int HbFileStream::Seek(int64_t offset, int origin)
{
    return mFile && HbFileSeek(mFile, offset, origin) == 0 ? 1 : 0;
}

int64_t HbFileStream::Tell()
{
    return mFile ? HbFileTell(mFile) : -1;
}

int64_t HbFileStream::Size()
{
    if (!mFile)
        return -1;
    int64_t here = HbFileTell(mFile);
    if (here < 0 || HbFileSeek(mFile, 0, SEEK_END) != 0)
        return -1;
    int64_t end = HbFileTell(mFile);
    if (HbFileSeek(mFile, here, SEEK_SET) != 0)
        return -1;
    return end;
}

void HbFileStream::UpdateState(uint32_t& state)
{
    if (!mFile)
        return;
    if (HbFileEof(mFile))
        state |= HbStream::kEndOfData;
    else
        state &= ~uint32_t(HbStream::kEndOfData);
    if (HbFileError(mFile))
        state &= ~uint32_t(HbStream::kUsable | HbStream::kChecksumsRight);
    else
        state |= HbStream::kUsable;
}

int HbFileStream::Flush()
{
    return mFile ? HbFileFlush(mFile) : -1;
}

// ---- The resource buffer ---------------------------------------------------------------------------

namespace
{
// The engine stream's callbacks work on the HbFile itself, without a buffer of
// their own, so that chunk reads of both kinds share the file position.
uint32_t EngineRead(void* data, void* buffer, uint32_t length)
{
    return uint32_t(HbFileRead(buffer, 1, length, static_cast<HbFile*>(data)));
}

int32_t EngineWrite(void* data, const void* buffer, uint32_t length)
{
    return HbFileWrite(buffer, 1, length, static_cast<HbFile*>(data)) == length ? 1 : 0;
}

int32_t EngineSkip(void* data, uint32_t offset)
{
    return HbFileSeek(static_cast<HbFile*>(data), int64_t(offset), SEEK_CUR) == 0 ? 1 : 0;
}

// What is left of the file or pack entry, so that engine readers can check the counts they read.
int64_t EngineRemaining(void* data)
{
    auto* file = static_cast<HbFile*>(data);
    if (file->archive)
        return file->entryEnd > file->position ? file->entryEnd - file->position : 0;
    struct stat info;
    const int64_t at = file->crt ? int64_t(::ftello(file->crt)) : -1;
    if (at < 0 || ::fstat(::fileno(file->crt), &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    return info.st_size > at ? int64_t(info.st_size) - at : 0;
}

int32_t AccessOf(const char* mode)
{
    if (std::strchr(mode, 'r'))
        return kStreamRead;
    if (std::strchr(mode, 'w'))
        return kStreamWrite;
    if (std::strchr(mode, 'a'))
        return kStreamAppend;
    return 0;
}

/// An HbFileStream that also holds, while open, the engine stream over its file.
class ResourceBuf : public HbFileStream
{
public:
    ~ResourceBuf() override { Close(); }

    int Open(const char* path, const char* mode) override
    {
        Close();
        if (!HbFileStream::Open(path, mode))
            return 0;
        StreamCallbacks callbacks = {nullptr, EngineRead, EngineWrite, EngineSkip, mFile, EngineRemaining};
        int32_t access = AccessOf(mode);
        mEngine = access ? Stream::Open(kStreamCustom, access, &callbacks) : nullptr;
        if (!mEngine)
        {
            HbFileStream::Close();
            return 0;
        }
        return 1;
    }

    int Close() override
    {
        if (mEngine)
            Stream::Close(mEngine, nullptr);
        mEngine = nullptr;
        return HbFileStream::Close();
    }

    Stream* GetEngine() const { return mEngine; }

private:
    Stream* mEngine = nullptr;
};

ResourceBuf* BufOf(const HbStream* stream)
{
    return static_cast<ResourceBuf*>(stream->GetBuffer());
}
} // namespace

// ---- HbResourceStream ---------------------------------------------------------------------------------

HbResourceStream::HbResourceStream() : HbMChunkStream(new ResourceBuf()) {}

HbResourceStream::~HbResourceStream() = default;

int HbResourceStream::Open(const char* path, const char* mode)
{
    ResourceBuf* buffer = BufOf(this);
    if (!buffer || !buffer->Open(path, mode))
        return 0;
    HbFileSetUserData(buffer->GetFile(), reinterpret_cast<uintptr_t>(this));
    DropChunks();
    ClearStateBits(kEndOfData | kAtChunkEnd);
    return 1;
}

HbFile* HbResourceStream::GetFile() const
{
    ResourceBuf* buffer = BufOf(this);
    return buffer ? buffer->GetFile() : nullptr;
}

Stream* HbResourceStream::GetEngineStream() const
{
    ResourceBuf* buffer = BufOf(this);
    return buffer ? buffer->GetEngine() : nullptr;
}

HbResourceStream* HbResourceStream::From(HbStream* stream)
{
    return dynamic_cast<HbResourceStream*>(stream);
}

int HbResourceStream::EngineRead(void* bytes, uint32_t count, bool words)
{
    Stream* engine = GetEngineStream();
    if (!engine)
        return 0;
    bool ok = words ? Stream::ReadWords(engine, bytes, count) != nullptr : Stream::Read(engine, bytes, count) == count;
    if (!ok)
        SetStateBits(kEndOfData);
    return ok ? 1 : 0;
}

int HbResourceStream::EngineWrite(const void* bytes, uint32_t count, bool words)
{
    Stream* engine = GetEngineStream();
    if (!engine)
        return 0;
    return (words ? Stream::WriteWords(engine, bytes, count) : Stream::Write(engine, bytes, count)) ? 1 : 0;
}

namespace
{
// ReadWords hands the words over in the host's order.
template <typename T> T FromBytes(const uint8_t* bytes)
{
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
}
} // namespace

int HbResourceStream::ReadBool(bool& value)
{
    uint8_t byte = 0;
    if (!EngineRead(&byte, 1, false))
        return 0;
    value = byte != 0;
    return 1;
}

int HbResourceStream::ReadInt8(int8_t& value)
{
    return EngineRead(&value, 1, false);
}

int HbResourceStream::ReadUInt8(uint8_t& value)
{
    return EngineRead(&value, 1, false);
}

int HbResourceStream::ReadInt32(int32_t& value)
{
    uint8_t bytes[4];
    if (!EngineRead(bytes, 4, true))
        return 0;
    value = FromBytes<int32_t>(bytes);
    return 1;
}

int HbResourceStream::ReadUInt32(uint32_t& value)
{
    uint8_t bytes[4];
    if (!EngineRead(bytes, 4, true))
        return 0;
    value = FromBytes<uint32_t>(bytes);
    return 1;
}

int HbResourceStream::ReadReal(float& value)
{
    uint8_t bytes[4];
    if (!EngineRead(bytes, 4, true))
        return 0;
    value = FromBytes<float>(bytes);
    return 1;
}

int HbResourceStream::ReadInt64(int64_t& value)
{
    return HbStream::ReadInt64(value);
}

int HbResourceStream::ReadUInt64(uint64_t&)
{
    return 0;
}

int HbResourceStream::ReadDouble(double&)
{
    return 0;
}

int HbResourceStream::ReadInt16(int16_t&)
{
    return 0;
}

int HbResourceStream::ReadUInt16(uint16_t&)
{
    return 0;
}

int HbResourceStream::WriteBool(bool value)
{
    uint8_t byte = value ? 1 : 0;
    return EngineWrite(&byte, 1, false);
}

int HbResourceStream::WriteInt8(int8_t value)
{
    return EngineWrite(&value, 1, false);
}

int HbResourceStream::WriteUInt8(uint8_t value)
{
    return EngineWrite(&value, 1, false);
}

int HbResourceStream::WriteInt32(int32_t value)
{
    return EngineWrite(&value, 4, true);
}

int HbResourceStream::WriteUInt32(uint32_t value)
{
    const uint8_t bytes[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    return EngineWrite(bytes, 4, false);
}

int HbResourceStream::WriteReal(float value)
{
    uint32_t bits = std::bit_cast<uint32_t>(value);
    const uint8_t bytes[4] = {uint8_t(bits), uint8_t(bits >> 8), uint8_t(bits >> 16), uint8_t(bits >> 24)};
    return EngineWrite(bytes, 4, false);
}

int HbResourceStream::WriteInt64(int64_t value)
{
    return HbStream::WriteInt64(value);
}

int HbResourceStream::WriteUInt64(uint64_t)
{
    return 0;
}

int HbResourceStream::WriteDouble(double)
{
    return 0;
}

int HbResourceStream::WriteInt16(int16_t)
{
    return 0;
}

int HbResourceStream::WriteUInt16(uint16_t)
{
    return 0;
}

// ---- Vectors and matrices --------------------------------------------------------------------------

namespace
{
int ReadReals(HbStream* stream, float* out, int count)
{
    float values[12];
    for (int i = 0; i < count; ++i)
        if (!stream || !stream->ReadReal(values[i]))
            return 0;
    std::memcpy(out, values, sizeof(float) * size_t(count));
    return 1;
}

int WriteReals(HbStream* stream, const float* values, int count)
{
    for (int i = 0; i < count; ++i)
        if (!stream || !stream->WriteReal(values[i]))
            return 0;
    return 1;
}
} // namespace

int HbWriteVector3(HbStream* stream, const Vector& v)
{
    const float values[3] = {v.x, v.y, v.z};
    return WriteReals(stream, values, 3);
}

int HbReadVector3(HbStream* stream, Vector& v)
{
    float values[3];
    if (!ReadReals(stream, values, 3))
        return 0;
    v = {values[0], values[1], values[2]};
    return 1;
}

int HbWriteVector4(HbStream* stream, const float* v)
{
    return v ? WriteReals(stream, v, 4) : 0;
}

int HbReadVector4(HbStream* stream, float* v)
{
    return v ? ReadReals(stream, v, 4) : 0;
}

int HbWriteMatrix(HbStream* stream, const Matrix& m)
{
    const float values[12] = {m.right.x, m.right.y, m.right.z, m.up.x,  m.up.y,  m.up.z,
                              m.at.x,    m.at.y,    m.at.z,    m.pos.x, m.pos.y, m.pos.z};
    return WriteReals(stream, values, 12);
}

int HbReadMatrix(HbStream* stream, Matrix& m)
{
    float v[12];
    if (!ReadReals(stream, v, 12))
        return 0;
    m.right = {v[0], v[1], v[2]};
    m.up = {v[3], v[4], v[5]};
    m.at = {v[6], v[7], v[8]};
    m.pos = {v[9], v[10], v[11]};
    Matrix::Update(&m);
    return 1;
}
