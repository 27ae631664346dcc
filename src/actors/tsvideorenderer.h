// The video renderer filter: takes 24-bit RGB frames in a VIDEOINFO block, converts each to
// 32-bit pixels under the video mutex on the decode thread, and hands the latest to its raster
// on the game thread, so the raster is only ever locked, uploaded and drawn there.
#pragma once

#include "dshow.h"

#include <cstdint>
#include <vector>

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
    /// On the decode thread: the frame as 4-byte pixels with alpha 255 (the bottom row first
    /// when the source is bottom-up), kept for ShowLatest; skips a frame that is shorter than
    /// the picture or finds no mutex. Always S_OK.
    HRESULT CopyFrame(IMediaSample* sample);
    /// On the game thread, once per frame: the latest frame not yet shown into the raster,
    /// under the video mutex. Nothing without a new frame, a raster or a raster that will
    /// not lock.
    void ShowLatest();

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
    std::vector<uint8_t> mPixels; ///< the latest frame, 4 bytes a pixel, under the video mutex
    bool mFresh = false;          ///< mPixels holds a frame the raster has not shown
};
