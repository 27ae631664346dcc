// The skeleton file writer.
#include "skeletonwriter.h"

#include <cstring>

namespace
{
constexpr uint32_t kSkeletonChunk = 12289;
/// Chunks of value 0 are not entered by readers: the value is the format's version.
constexpr uint32_t kVersion = 1;
} // namespace

size_t VectorStreamBuf::Read(void* destination, size_t count)
{
    const size_t available = mPosition < mBytes.size() ? mBytes.size() - mPosition : 0;
    const size_t n = count < available ? count : available;
    if (n)
        std::memcpy(destination, mBytes.data() + mPosition, n);
    mPosition += n;
    return n;
}

size_t VectorStreamBuf::Write(const void* source, size_t count)
{
    if (mPosition + count > mBytes.size())
        mBytes.resize(mPosition + count);
    std::memcpy(mBytes.data() + mPosition, source, count);
    mPosition += count;
    return count;
}

int VectorStreamBuf::Seek(int64_t offset, int origin)
{
    int64_t base = origin == 0 ? 0 : origin == 1 ? int64_t(mPosition) : int64_t(mBytes.size());
    const int64_t target = base + offset;
    if (target < 0 || target > int64_t(mBytes.size()))
        return 0;
    mPosition = size_t(target);
    return 1;
}

int SkeletonWriter::Write(HbMChunkStream* stream, const std::vector<std::string>& bones,
                          const std::vector<SkeletonProfileRow>* profiles)
{
    int ok = stream->BeginChunk(kSkeletonChunk, 0, 0, kVersion) != 0;
    ok &= stream->WriteInt32(int32_t(bones.size()));
    for (const std::string& bone : bones)
        ok &= HbWriteCStringToStream(stream, bone.c_str());
    ok &= stream->EndChunk() != 0;
    if (profiles)
    {
        ok &= stream->BeginChunk(kSkeletonChunk, 1, 0, kVersion) != 0;
        ok &= stream->WriteUInt32(uint32_t(profiles->size()));
        for (const SkeletonProfileRow& profile : *profiles)
        {
            ok &= HbWriteCStringToStream(stream, profile.name.c_str());
            ok &= stream->WriteUInt32(uint32_t(profile.bones.size()));
            for (const std::string& bone : profile.bones)
                ok &= HbWriteCStringToStream(stream, bone.c_str());
        }
        ok &= stream->EndChunk() != 0;
    }
    return ok ? 1 : 0;
}

std::vector<uint8_t> SkeletonWriter::Bytes(const std::vector<std::string>& bones,
                                           const std::vector<SkeletonProfileRow>* profiles)
{
    auto* buffer = new VectorStreamBuf();
    HbMChunkStream stream(buffer);
    if (!Write(&stream, bones, profiles))
        return {};
    return buffer->Bytes();
}
