// Light fields: loading and packing the grid, sampling it, and lighting the nodes marked as
// lit by it.
#include "wlightfield.h"

#include "frame.h"
#include "hbmemory.h"
#include "hbresource.h"
#include "hbstream.h"
#include "light.h"
#include "stream.h"
#include "w3dlevel.h"
#include "w3dlight.h"
#include "wscene.h"

#include <algorithm>
#include <cmath>
#include <cstring>

HB_DEFINE_CLASS_DESC(WLightFieldManager, HbRoot);

namespace
{
[[maybe_unused]] const int sRegistered = []() -> int
{
    if (HbResourceManager* manager = HbResourceManager::Instance())
        manager->RegisterType("LF", []() -> HbRoot* { return WLightFieldManager::Create(); });
    return 1;
}();

float gDecode[1024];
bool gDecodeBuilt = false;

void BuildDecodeTable()
{
    if (gDecodeBuilt)
        return;
    for (int32_t q = 0; q < 1024; ++q)
        gDecode[q] = float(q - 512) / 511.0f;
    gDecodeBuilt = true;
}

uint32_t Word(uint32_t a, uint32_t b, uint32_t c)
{
    return (a << 20) | (b << 10) | c;
}

/// Lit from (almost) straight up when the data give no direction.
constexpr Vector kDefaultDirection = {0.0f, 0.999f, 0.05f};

int32_t ReadLE32(const uint8_t* p)
{
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

float ReadReal(const uint8_t* p)
{
    uint32_t v = uint32_t(ReadLE32(p));
    float f;
    std::memcpy(&f, &v, 4);
    return f;
}

float Luminance(const float* c)
{
    return 0.299f * c[0] + 0.587f * c[1] + 0.114f * c[2];
}
} // namespace

WLightFieldManager::WLightFieldManager()
{
    BuildDecodeTable();
}

WLightFieldManager* WLightFieldManager::Create()
{
    return new WLightFieldManager();
}

WLightFieldManager::~WLightFieldManager()
{
    FreeAll();
}

void WLightFieldManager::FreeAll()
{
    if (mSamples)
        HbHeapFree(mSamples);
    mSamples = nullptr;
    mSamplesSize = 0;
    if (mAmbientLight)
        mAmbientLight->Release();
    if (mDirectionalLight)
        mDirectionalLight->Release();
    mAmbientLight = nullptr;
    mDirectionalLight = nullptr;
}

uint32_t WLightFieldManager::PackDirection(float v)
{
    if (!(v > -1.0f)) // NaN counts as -1
        v = -1.0f;
    float scaled = (v + 1.0f) * 512.0f;
    if (scaled >= 1023.0f)
        return 1023;
    return uint32_t(scaled);
}

uint32_t WLightFieldManager::PackColor(float v)
{
    return std::max<uint32_t>(PackDirection(v), 512);
}

float WLightFieldManager::Decode(uint32_t q)
{
    BuildDecodeTable();
    return gDecode[q & 1023];
}

void WLightFieldManager::PackRecord(const float* r, uint32_t* packed)
{
    packed[0] = Word(PackDirection(r[0]), PackDirection(r[1]), PackDirection(r[2]));
    packed[1] = Word(PackColor(r[3]), PackColor(r[4]), PackColor(r[5]));
    if (r[0] * r[0] + r[1] * r[1] + r[2] * r[2] == 0.0f)
    {
        packed[0] = Word(PackDirection(kDefaultDirection.x), PackDirection(kDefaultDirection.y),
                         PackDirection(kDefaultDirection.z));
        packed[1] = Word(512, 512, 512);
    }
    mMaxDirectionalLuminance = std::max(mMaxDirectionalLuminance, Luminance(r + 3));
    mMaxAmbientLuminance = std::max(mMaxAmbientLuminance, Luminance(r + 6));
    packed[2] = Word(PackColor(r[6]), PackColor(r[7]), PackColor(r[8]));
}

int WLightFieldManager::Load(HbStream* stream, const char*)
{
    HbResourceStream* resource = HbResourceStream::From(stream);
    Stream* engine = resource ? resource->GetEngineStream() : nullptr;
    return engine ? LoadFromEngineStream(engine) : 0;
}

int32_t WLightFieldManager::LoadFromEngineStream(Stream* stream)
{
    FreeAll();
    uint32_t chunkSize = 0;
    if (!Stream::FindChunk(stream, kChunkType, &chunkSize, nullptr) || chunkSize < uint32_t(kHeaderSize))
        return 0;
    uint8_t header[kHeaderSize];
    if (Stream::Read(stream, header, kHeaderSize) != uint32_t(kHeaderSize))
        return 0;
    if (std::memcmp(header, "LSD\x1A", 4) != 0)
        return 0;
    int32_t bounds[6];
    for (int32_t i = 0; i < 6; ++i)
        bounds[i] = ReadLE32(header + 12 + 4 * i);
    const int32_t step = ReadLE32(header + 36);
    const int32_t stride = ReadLE32(header + 40);
    const int32_t skip = ReadLE32(header + 44);
    // Every grid the sampling can walk safely: a positive step, ordered bounds, spans that
    // are whole cells, and records that lie inside the chunk.
    if (step <= 0 || stride < kMinStride || skip < 0)
        return 0;
    // The chunk's size is the file's word: the records must also lie in what the stream holds.
    const uint64_t held = Stream::Remaining(stream);
    const uint64_t claimed = uint64_t(chunkSize) - kHeaderSize;
    int64_t available = int64_t(held < claimed ? held : claimed) - skip;
    if (available < 0)
        return 0;
    int64_t counts[3];
    int64_t total = 1;
    for (int32_t axis = 0; axis < 3; ++axis)
    {
        const int64_t lo = bounds[2 * axis], hi = bounds[2 * axis + 1];
        if (hi < lo || (hi - lo) % step != 0)
            return 0;
        counts[axis] = (hi - lo) / step + 1;
        if (counts[axis] > available / stride / total)
            return 0;
        total *= counts[axis];
    }
    if (skip > 0 && !Stream::Skip(stream, uint32_t(skip)))
        return 0;

    const size_t recordBytes = size_t(total) * size_t(stride);
    auto* samples = static_cast<uint32_t*>(HbHeapAlloc(size_t(total) * 12));
    auto* buffer = static_cast<uint8_t*>(samples ? HbHeapAlloc(recordBytes) : nullptr);
    if (!buffer || Stream::Read(stream, buffer, uint32_t(recordBytes)) != recordBytes)
    {
        if (buffer)
            HbHeapFree(buffer);
        if (samples)
            HbHeapFree(samples);
        return 0;
    }
    mStep = step;
    mInverseCellVolume = float(1.0 / (double(step) * step * step));
    for (int32_t axis = 0; axis < 3; ++axis)
    {
        mMin[axis] = bounds[2 * axis];
        mMax[axis] = bounds[2 * axis + 1];
        mCount[axis] = int32_t(counts[axis]);
    }
    mMaxDirectionalLuminance = 0.0f;
    mMaxAmbientLuminance = 0.0f;
    for (int64_t n = 0; n < total; ++n)
    {
        const uint8_t* record = buffer + size_t(n) * size_t(stride);
        float values[9];
        for (int32_t v = 0; v < 9; ++v)
            values[v] = ReadReal(record + 4 * v);
        PackRecord(values, samples + 3 * n);
    }
    HbHeapFree(buffer);

    mAmbientLight = static_cast<W3dAmbientLight*>(W3dLight::CreateOfKey("W3DAMBIENTLIGHT"));
    mDirectionalLight =
        mAmbientLight ? static_cast<W3dDirectionalLight*>(W3dLight::CreateOfKey("W3DDIRECTIONALLIGHT")) : nullptr;
    if (!mDirectionalLight)
    {
        if (mAmbientLight)
            delete mAmbientLight;
        mAmbientLight = nullptr;
        HbHeapFree(samples);
        return 0;
    }
    mAmbientLight->AddRef();
    mDirectionalLight->AddRef();
    mSamples = samples;
    mSamplesSize = size_t(total) * 12;
    return 1;
}

const uint32_t* WLightFieldManager::GetPacked(int32_t i, int32_t j, int32_t k) const
{
    return mSamples + 3 * ((size_t(i) * mCount[1] + j) * mCount[2] + k);
}

const WLightFieldManager::Sample& WLightFieldManager::SampleAt(const Vector& position)
{
    ++mSampleCount;
    if (!mSamples)
        return mSample;
    const float coordinates[3] = {position.x, position.y, position.z};
    int32_t cell[3], next[3];
    float fraction[3];
    for (int32_t axis = 0; axis < 3; ++axis)
    {
        float c = coordinates[axis];
        c = std::min(c, float(mMax[axis] - 1));
        c = std::max(c, float(mMin[axis]));
        if (!(c == c))
            c = float(mMin[axis]);
        const int32_t d = int32_t(c) - mMin[axis];
        cell[axis] = std::min(d / mStep, mCount[axis] - 1);
        fraction[axis] = float(d % mStep);
        // The far face of the last cell is its near face again.
        next[axis] = std::min(cell[axis] + 1, mCount[axis] - 1);
    }
    const float step = float(mStep);
    float sum[9] = {};
    for (int32_t corner = 0; corner < 8; ++corner)
    {
        const int32_t a = corner >> 2 & 1, b = corner >> 1 & 1, c = corner & 1;
        const float weight = (a ? fraction[0] : step - fraction[0]) * (b ? fraction[1] : step - fraction[1]) *
                             (c ? fraction[2] : step - fraction[2]);
        if (weight == 0.0f)
            continue;
        const uint32_t* packed = GetPacked(a ? next[0] : cell[0], b ? next[1] : cell[1], c ? next[2] : cell[2]);
        for (int32_t word = 0; word < 3; ++word)
        {
            const uint32_t w = packed[word];
            sum[3 * word + 0] += weight * gDecode[w >> 20 & 1023];
            sum[3 * word + 1] += weight * gDecode[w >> 10 & 1023];
            sum[3 * word + 2] += weight * gDecode[w & 1023];
        }
    }
    const float length = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
    if (length > 0.0f)
    {
        mSample.direction = {sum[0] / length, sum[1] / length, sum[2] / length};
        for (int32_t i = 0; i < 3; ++i)
            mSample.directionalColor[i] = sum[3 + i] * mInverseCellVolume;
    }
    else
    {
        mSample.direction = kDefaultDirection;
        for (int32_t i = 0; i < 3; ++i)
            mSample.directionalColor[i] = 0.0f;
    }
    for (int32_t i = 0; i < 3; ++i)
        mSample.ambientColor[i] = sum[6 + i] * mInverseCellVolume;
    mSample.directionalColor[3] = 1.0f;
    mSample.ambientColor[3] = 1.0f;
    return mSample;
}

void WLightFieldManager::Apply(const Vector& direction, const float* directionalColor, const float* ambientColor)
{
    if (mAmbientLight)
        mAmbientLight->SetColor(ambientColor);
    if (!mDirectionalLight)
        return;
    mDirectionalLight->SetColor(directionalColor);
    if (Frame* frame = mDirectionalLight->GetEngineFrame())
    {
        frame->modelling.at = direction;
        Frame::UpdateObjects(frame);
    }
}

void WLightFieldManager::SampleAndApply(const Vector& position, Vector* direction, float* directionalColor,
                                        float* ambientColor)
{
    if (!mSamples)
        return;
    const Sample& sample = SampleAt(position);
    Apply(sample.direction, sample.directionalColor, sample.ambientColor);
    *direction = sample.direction;
    std::memcpy(directionalColor, sample.directionalColor, 4 * sizeof(float));
    std::memcpy(ambientColor, sample.ambientColor, 4 * sizeof(float));
}
