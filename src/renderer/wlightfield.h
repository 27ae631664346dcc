// WLightFieldManager: a level's baked lighting, a regular grid of samples (light direction,
// directional colour, ambient colour) packed to 10 bits a component, and the ambient and
// directional light it loads each lit node's interpolated sample into before the node draws.
#pragma once

#include "hbroot.h"
#include "vector.h"

#include <cstdint>

struct Stream;
class W3dAmbientLight;
class W3dDirectionalLight;

class WLightFieldManager : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    /// The engine chunk that holds a light field.
    static constexpr uint32_t kChunkType = 0x37280579;
    static constexpr int32_t kHeaderSize = 48;
    /// The smallest record: nine reals.
    static constexpr int32_t kMinStride = 36 + 12;

    /// What a sample gives: valid until the next SampleAt.
    struct Sample
    {
        Vector direction;
        float directionalColor[4];
        float ambientColor[4];
    };

    /// Zero bounds, no samples, no lights. Reference count 0.
    static WLightFieldManager* Create();
    ~WLightFieldManager() override;

    /// Reads the light-field chunk from the resource's engine stream.
    int Load(HbStream* stream, const char* name) override;
    /// The same from an engine stream: the grid is checked against the chunk before
    /// anything is allocated, packed, and the two lights made. 1, or 0 with no samples.
    int32_t LoadFromEngineStream(Stream* stream);
    int ReadChunks(HbMChunkStream*) override { return 1; }
    std::string GetTypeKey() const override { return "LF"; }
    int IsShared() const override { return 1; }

    /// Trilinear lighting at a world position (clamped into the grid).
    const Sample& SampleAt(const Vector& position);
    /// The ambient light takes ambientColor, the directional one directionalColor and looks
    /// along direction.
    void Apply(const Vector& direction, const float* directionalColor, const float* ambientColor);
    /// With samples: SampleAt, Apply and the values copied out; nothing without.
    void SampleAndApply(const Vector& position, Vector* direction, float* directionalColor, float* ambientColor);

    W3dAmbientLight* GetAmbientLight() const { return mAmbientLight; }
    W3dDirectionalLight* GetDirectionalLight() const { return mDirectionalLight; }
    bool HasSamples() const { return mSamples != nullptr; }
    int32_t GetCount(int32_t axis) const { return mCount[axis]; }
    int32_t GetStep() const { return mStep; }
    /// The packed words of grid point (i, j, k) (three).
    const uint32_t* GetPacked(int32_t i, int32_t j, int32_t k) const;
    /// SampleAt calls so far (how often nodes sampled).
    int64_t GetSampleCount() const { return mSampleCount; }
    float GetMaxDirectionalLuminance() const { return mMaxDirectionalLuminance; }
    float GetMaxAmbientLuminance() const { return mMaxAmbientLuminance; }

    /// The 10-bit forms of a direction component and of a colour component.
    static uint32_t PackDirection(float v);
    static uint32_t PackColor(float v);
    static float Decode(uint32_t q);

private:
    WLightFieldManager();
    void FreeAll();
    void PackRecord(const float* record, uint32_t* packed);

    W3dAmbientLight* mAmbientLight = nullptr;
    W3dDirectionalLight* mDirectionalLight = nullptr;
    int32_t mStep = 0;
    float mInverseCellVolume = 0.0f;
    float mMaxDirectionalLuminance = 0.0f;
    float mMaxAmbientLuminance = 0.0f;
    int32_t mMin[3] = {};
    int32_t mMax[3] = {};
    int32_t mCount[3] = {};
    uint32_t* mSamples = nullptr;
    size_t mSamplesSize = 0;
    Sample mSample = {};
    int64_t mSampleCount = 0;
};
