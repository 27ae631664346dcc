// The video renderer filter: takes 24-bit RGB frames in a VIDEOINFO block and copies each
// into a 32-bit raster under the video mutex, on the decode thread.
#pragma once

#include "dshow.h"

#include <cstdint>

struct Raster;

class TsVideoRenderer : public CBaseVideoRenderer
{
public:
    static constexpr GUID kClassId = {0x71771540, 0x2017, 0x11CF, {0xAE, 0x26, 0x00, 0x20, 0xAF, 0xD7, 0x97, 0x67}};

    explicit TsVideoRenderer(HRESULT* result);

    /// S_OK for Video / RGB24 in a VIDEOINFO block; E_INVALIDARG for another format block,
    /// E_FAIL for another major type or subtype.
    HRESULT CheckFormat(const CMediaType* type);
    /// Size and row pitch from the bitmap header, and a new 32-bit raster made (the old
    /// one destroyed) under the video mutex. E_INVALIDARG for a missing or short header or
    /// an empty or oversized picture, E_OUTOFMEMORY when the raster cannot be made.
    HRESULT SetFormat(const CMediaType* type);
    /// Copies the frame into the raster as 4-byte pixels with alpha 255, the bottom row
    /// first when the source is bottom-up; skips a frame that is shorter than the picture,
    /// that finds no raster, no mutex or a raster that will not lock. Always S_OK.
    HRESULT CopyFrame(IMediaSample* sample);

    HRESULT CheckMediaType(const CMediaType* type) override { return CheckFormat(type); }
    HRESULT SetMediaType(const CMediaType* type) override { return SetFormat(type); }
    HRESULT DoRenderSample(IMediaSample* sample) override { return CopyFrame(sample); }

    Raster* GetRaster() const { return mRaster; }
    int32_t GetWidth() const { return mWidth; }
    int32_t GetHeight() const { return mHeight; }
    int32_t GetPitch() const { return mPitch; }

protected:
    /// Destroys the raster.
    ~TsVideoRenderer() override;

private:
    Raster* mRaster = nullptr;
    int32_t mWidth = 0;
    int32_t mHeight = 0; ///< always positive
    int32_t mPitch = 0;  ///< source bytes per row: 3 x width rounded up to 4
    bool mBottomUp = true;
};
