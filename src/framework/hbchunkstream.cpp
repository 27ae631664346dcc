// Typed streams, strings and chunk streams over any byte store.
#include "hbchunkstream.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>

HB_DEFINE_CLASS_POOL(HbMChunkStream, "HbMChunkStream", 2);

// ---- HbStream ----------------------------------------------------------------------------

HbStream::HbStream(HbStreamBuf* buffer) : mBuffer(buffer) {}

HbStream::~HbStream()
{
    delete mBuffer;
}

int HbStream::CloseFile()
{
    return mBuffer ? mBuffer->Close() : 0;
}

size_t HbStream::ReadBytes(void* destination, size_t count)
{
    if (!mBuffer)
        return 0;
    size_t got = mBuffer->Read(destination, count);
    if (got < count)
        mState |= kEndOfData;
    mBuffer->UpdateState(mState);
    return got;
}

size_t HbStream::WriteBytes(const void* source, size_t count)
{
    if (!mBuffer)
        return 0;
    size_t put = mBuffer->Write(source, count);
    mBuffer->UpdateState(mState);
    return put;
}

int HbStream::Seek(int64_t offset, int origin)
{
    if (!mBuffer || !mBuffer->Seek(offset, origin))
        return 0;
    mState &= ~kEndOfData;
    return 1;
}

int64_t HbStream::Tell()
{
    return mBuffer ? mBuffer->Tell() : -1;
}

int HbStream::ReadLittle(uint64_t& value, size_t count)
{
    uint8_t bytes[8];
    if (ReadBytes(bytes, count) != count)
        return 0;
    uint64_t v = 0;
    for (size_t i = 0; i < count; ++i)
        v |= uint64_t(bytes[i]) << (8 * i);
    value = v;
    return 1;
}

int HbStream::WriteLittle(uint64_t value, size_t count)
{
    uint8_t bytes[8];
    for (size_t i = 0; i < count; ++i)
        bytes[i] = uint8_t(value >> (8 * i));
    return WriteBytes(bytes, count) == count ? 1 : 0;
}

namespace
{
// Reads a value of T's size through ReadLittle and converts the bits.
template <typename T, typename Reader> int ReadAs(Reader read, T& value)
{
    uint64_t bits = 0;
    if (!read(bits, sizeof(T)))
        return 0;
    if constexpr (std::is_floating_point_v<T>)
    {
        using Bits = std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>;
        value = std::bit_cast<T>(static_cast<Bits>(bits));
    }
    else
    {
        using Unsigned = std::make_unsigned_t<T>;
        value = static_cast<T>(static_cast<Unsigned>(bits));
    }
    return 1;
}

template <typename T> uint64_t BitsOf(T value)
{
    if constexpr (std::is_floating_point_v<T>)
    {
        using Bits = std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>;
        return std::bit_cast<Bits>(value);
    }
    else
    {
        return static_cast<std::make_unsigned_t<T>>(value);
    }
}
} // namespace

#define HB_STREAM_TYPED(Name, Type)                                                                                    \
    int HbStream::Read##Name(Type& value)                                                                              \
    {                                                                                                                  \
        return ReadAs([this](uint64_t& bits, size_t count) { return ReadLittle(bits, count); }, value);                \
    }                                                                                                                  \
    int HbStream::Write##Name(Type value)                                                                              \
    {                                                                                                                  \
        return WriteLittle(BitsOf(value), sizeof(Type));                                                               \
    }

HB_STREAM_TYPED(Int64, int64_t)
HB_STREAM_TYPED(Int32, int32_t)
HB_STREAM_TYPED(UInt64, uint64_t)
HB_STREAM_TYPED(Double, double)
HB_STREAM_TYPED(UInt32, uint32_t)
HB_STREAM_TYPED(Real, float)
HB_STREAM_TYPED(Int16, int16_t)
HB_STREAM_TYPED(UInt16, uint16_t)
HB_STREAM_TYPED(Int8, int8_t)
HB_STREAM_TYPED(UInt8, uint8_t)
#undef HB_STREAM_TYPED

int HbStream::ReadBool(bool& value)
{
    uint8_t byte = 0;
    if (!ReadUInt8(byte))
        return 0;
    value = byte != 0;
    return 1;
}

int HbStream::WriteBool(bool value)
{
    return WriteUInt8(value ? 1 : 0);
}

// ---- Strings ---------------------------------------------------------------------------------

int HbWriteCStringToStream(HbStream* stream, const char* text)
{
    if (!stream)
        return 0;
    if (!text)
        text = "";
    size_t length = std::strlen(text);
    if (length > kHbMaxCStringLength)
        return 0;
    for (size_t i = 0; i <= length; ++i)
        if (!stream->WriteInt8(static_cast<int8_t>(text[i])))
            return 0;
    return 1;
}

int HbReadCString(HbStream* stream, std::string& out)
{
    out.clear();
    if (!stream)
        return 0;
    char buffer[kHbMaxCStringLength + 1];
    size_t length = 0;
    bool overlong = false;
    for (;;)
    {
        int8_t c = 0;
        if (!stream->ReadInt8(c))
            return 0;
        if (c == 0)
            break;
        if (length < kHbMaxCStringLength)
            buffer[length++] = static_cast<char>(c);
        else
            overlong = true;
    }
    if (overlong)
        return 0;
    out.assign(buffer, length);
    return 1;
}

// ---- Chunk headers -----------------------------------------------------------------------------

uint32_t HbChunkHeaderFields::ComputeChecksum() const
{
    return id + size + key1 + key2 + value + reserved + kHbChunkChecksumSeed;
}

namespace
{
void Store32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

uint32_t Load32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
} // namespace

// ---- HbMChunkStream ----------------------------------------------------------------------------

HbMChunkStream::HbMChunkStream(HbStreamBuf* buffer) : HbStream(buffer) {}

HbMChunkStream::~HbMChunkStream()
{
    DropChunks();
}

void HbMChunkStream::DropChunks()
{
    while (mInnermost)
        Pop();
    mLimit = -1;
}

void HbMChunkStream::Push(HbChunkHeader* record)
{
    record->outer = mInnermost;
    if (mInnermost)
        mInnermost->inner = record;
    mInnermost = record;
    ++mDepth;
}

void HbMChunkStream::Pop()
{
    HbChunkHeader* record = mInnermost;
    if (!record)
        return;
    mInnermost = record->outer;
    if (mInnermost)
        mInnermost->inner = nullptr;
    --mDepth;
    delete record;
}

void HbMChunkStream::UpdateLimit()
{
    mLimit = -1;
    for (HbChunkHeader* record = mInnermost; record; record = record->outer)
    {
        if (record->reading)
        {
            mLimit = record->contentsStart + int64_t(record->fields.size);
            return;
        }
    }
}

uint32_t HbMChunkStream::GetLimit() const
{
    return mLimit < 0 ? kHbNoChunkLimit : static_cast<uint32_t>(mLimit);
}

int HbMChunkStream::WriteHeader(const HbChunkHeaderFields& h)
{
    uint8_t bytes[kHbChunkHeaderSize];
    const uint32_t fields[7] = {h.id, h.size, h.key1, h.key2, h.value, h.reserved, h.checksum};
    for (int i = 0; i < 7; ++i)
        Store32(bytes + 4 * i, fields[i]);
    return WriteBytes(bytes, sizeof(bytes)) == sizeof(bytes) ? 1 : 0;
}

int HbMChunkStream::ReadHeader(HbChunkHeaderFields& h)
{
    uint8_t bytes[kHbChunkHeaderSize];
    if (ReadBytes(bytes, sizeof(bytes)) != sizeof(bytes))
        return 0;
    h.id = Load32(bytes);
    h.size = Load32(bytes + 4);
    h.key1 = Load32(bytes + 8);
    h.key2 = Load32(bytes + 12);
    h.value = Load32(bytes + 16);
    h.reserved = Load32(bytes + 20);
    h.checksum = Load32(bytes + 24);
    return 1;
}

uint32_t HbMChunkStream::BeginChunk(uint32_t id, uint32_t key1, uint32_t key2, uint32_t value)
{
    auto* record = new HbChunkHeader();
    if (!record)
        return 0;
    record->fields = {id, 0xFFFFFFFF, key1, key2, value, kHbChunkReserved, 0xFFFFFFFF};
    int64_t start = Tell();
    record->failed = start < 0 || !WriteHeader(record->fields);
    record->contentsStart = record->failed ? 0 : start + kHbChunkHeaderSize;
    Push(record);
    // Positions are 32-bit in this format.
    if (record->failed || record->contentsStart > int64_t(UINT32_MAX))
        return 0;
    return static_cast<uint32_t>(record->contentsStart);
}

uint32_t HbMChunkStream::EndChunk()
{
    HbChunkHeader* record = mInnermost;
    if (!record || record->reading)
        return 0;
    int64_t end = Tell();
    bool ok = !record->failed && end >= record->contentsStart && end - record->contentsStart <= int64_t(UINT32_MAX);
    uint32_t size = 0;
    if (ok)
    {
        size = static_cast<uint32_t>(end - record->contentsStart);
        HbChunkHeaderFields& h = record->fields;
        h.size = size;
        h.reserved = kHbChunkReserved;
        h.checksum = h.ComputeChecksum();
        uint8_t word[4];
        // Size at header + 4; reserved and checksum at header + 20.
        int64_t header = record->contentsStart - kHbChunkHeaderSize;
        Store32(word, h.size);
        ok = Seek(header + 4, 0) && WriteBytes(word, 4) == 4;
        uint8_t tail[8];
        Store32(tail, h.reserved);
        Store32(tail + 4, h.checksum);
        ok = ok && Seek(header + 20, 0) && WriteBytes(tail, 8) == 8;
        Seek(end, 0);
    }
    Pop();
    return ok ? size : 0;
}

int HbMChunkStream::FindChunkHeader(uint32_t id, uint32_t key1, uint32_t key2, HbChunkHeaderFields* found)
{
    int64_t start = Tell();
    if (start < 0)
        return 0;
    // The data's end bounds every header; the enclosing chunk's end bounds the
    // chunks that begin inside it. A header lying at or beyond that end is still
    // read, and entered when it matches: readers find the next sibling that way
    // without leaving the chunk they are in.
    int64_t dataEnd = GetBuffer() ? GetBuffer()->Size() : -1;
    if (dataEnd < 0)
        dataEnd = INT64_MAX;
    int64_t limit = mLimit >= 0 ? mLimit : INT64_MAX;

    int64_t position = start;
    HbChunkHeaderFields h;
    bool accepted = false;
    while (position <= dataEnd && dataEnd - position >= int64_t(kHbChunkHeaderSize))
    {
        if (!ReadHeader(h))
            break;
        if (h.checksum != h.ComputeChecksum())
        {
            // A damaged header's size cannot steer the scan.
            ClearStateBits(kChecksumsRight);
            break;
        }
        int64_t contents = position + kHbChunkHeaderSize;
        int64_t end = position < limit ? std::min(limit, dataEnd) : dataEnd;
        if (contents > end || int64_t(h.size) > end - contents)
            break; // a size that runs past its enclosing chunk or the data
        if (h.id == id && h.key1 == key1 && h.key2 == key2)
        {
            if (contents >= limit)
                SetStateBits(kAtChunkEnd);
            accepted = true;
            break;
        }
        position = contents + int64_t(h.size);
        if (!Seek(position, 0))
            break;
        if (position >= limit)
        {
            SetStateBits(kAtChunkEnd);
            break;
        }
    }

    if (!accepted)
    {
        Seek(start, 0);
        ClearStateBits(kAtChunkEnd | kEndOfData);
        return 0;
    }
    auto* record = new HbChunkHeader();
    if (!record)
    {
        Seek(start, 0);
        return 0;
    }
    record->fields = h;
    record->contentsStart = position + kHbChunkHeaderSize;
    record->reading = true;
    Push(record);
    UpdateLimit();
    if (found)
        *found = h;
    return 1;
}

uint32_t HbMChunkStream::FindChunk(uint32_t id, uint32_t key1, uint32_t key2)
{
    int64_t start = Tell();
    HbChunkHeaderFields h;
    if (!FindChunkHeader(id, key1, key2, &h))
        return 0;
    if (h.value == 0)
    {
        // Callers take 0 for "absent" and would never leave the chunk.
        Pop();
        UpdateLimit();
        Seek(start, 0);
        return 0;
    }
    return h.value;
}

void HbMChunkStream::LeaveChunk()
{
    if (!mInnermost || !mInnermost->reading)
        return;
    Seek(mLimit, 0);
    Pop();
    UpdateLimit();
}
