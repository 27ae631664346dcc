// TsCamera: the game's camera node, placed once per frame from a stored placement; and the
// rings of timed samples the in-game cameras smooth their motion with.
#pragma once

#include "w3dcamera.h"

#include <cstdint>

/// What the base camera's SetPlacement takes.
struct TsCameraPlacement
{
    const Vector* position;
    const Vector* direction;
};

class TsCamera : public W3dCamera
{
    HB_DECLARE_CLASS_DESC();

public:
    /// A new camera (count 0), or null when the engine camera cannot be had. View window
    /// half-sizes (0.5, 0.5); with a current level, its far clip and a perspective view.
    static TsCamera* Create();

    /// The base camera reads a TsCameraPlacement and copies both vectors; the in-game
    /// cameras read records of their own.
    virtual void SetPlacement(const void* placement);
    /// The frame becomes exactly: position, the direction as at, right = up x at and
    /// up = at x right. A zero direction changes nothing; a vertical one takes x as right.
    virtual void ApplyPlacement();

    const Vector& GetPosition() const { return mPosition; }
    const Vector& GetDirection() const { return mDirection; }

protected:
    TsCamera();

private:
    Vector mPosition = {0.0f, 0.0f, 0.0f};
    Vector mDirection = {0.0f, 0.0f, 1.0f};
};

/// A ring of timed samples of one value over storage the caller owns.
class TsSampleRing
{
public:
    struct Sample
    {
        float value;
        float duration;
    };

    /// Binds the storage, then Fill(0).
    void Init(Sample* storage, int32_t count);
    /// Every sample becomes {value, 1/60 s}; the last push is now.
    void Fill(float value);
    /// Unbinds: storage, count, index and time 0.
    void Clear();
    /// The next sample takes the value and the time since the last push; unless raw (bit 0),
    /// the value is scaled from a per-frame amount to the elapsed time.
    void Push(float value, uint32_t raw);
    /// The average amount per 1/60 s over the newest span seconds (all samples when they
    /// cover less); 0 when they cover no time.
    float GetAverage(float span) const;

    int32_t GetCount() const { return mCount; }
    const Sample* GetStorage() const { return mStorage; }

private:
    Sample* mStorage = nullptr;
    int32_t mCount = 0;
    int32_t mNewest = 0;
    int64_t mLastPush = 0;
};

class TsVectorSampleRing
{
public:
    void Init(TsSampleRing::Sample* x, TsSampleRing::Sample* y, TsSampleRing::Sample* z, int32_t count);
    void Fill(const Vector& value);
    /// Each ring Fill(0).
    void Clear();
    /// Each ring unbound (TsSampleRing::Clear).
    void Reset();
    void Push(const Vector& value, uint32_t raw);
    void GetAverage(Vector* out, float span) const;

    TsSampleRing mRings[3];
};
