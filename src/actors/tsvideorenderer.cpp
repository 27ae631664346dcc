// The video renderer filter's operations: the media type it takes, the raster made for it,
// the frame kept on the decode thread and shown on the game thread.
#include "tsvideorenderer.h"

#include "raster.h"
#include "tsvideo.h"

#include <cstring>

namespace
{
// Bigger pictures are no video this game plays; the bound keeps every size in 32 bits.
constexpr int32_t kMaxSide = 8192;
constexpr uint32_t kRasterFlags = 0x500; // normal raster, 8888 pixels
} // namespace

TsVideoRenderer::TsVideoRenderer(HRESULT* result) : CBaseVideoRenderer(kClassId, "TsVideoRenderer", nullptr, result) {}

TsVideoRenderer::~TsVideoRenderer()
{
    if (mRaster)
        Raster::Destroy(mRaster);
}

HRESULT TsVideoRenderer::CheckFormat(const CMediaType* type)
{
    if (!type || !(*type->FormatType() == FORMAT_VideoInfo))
        return E_INVALIDARG;
    if (!(*type->Type() == MEDIATYPE_Video))
        return E_FAIL;
    return *type->Subtype() == MEDIASUBTYPE_RGB24 ? S_OK : E_FAIL;
}

HRESULT TsVideoRenderer::SetFormat(const CMediaType* type)
{
    if (!type || !type->Format() || type->FormatLength() < sizeof(VIDEOINFOHEADER))
        return E_INVALIDARG;
    VIDEOINFOHEADER info;
    std::memcpy(&info, type->Format(), sizeof(info));
    const int32_t width = info.bmiHeader.biWidth;
    const int32_t rows = info.bmiHeader.biHeight;
    if (width <= 0 || width > kMaxSide || rows == 0 || rows < -kMaxSide || rows > kMaxSide)
        return E_INVALIDARG;
    const int32_t height = rows < 0 ? -rows : rows;

    // The game thread may be drawing the old raster: swap under the mutex.
    int32_t locked = TsVideoLockFrame();
    if (mRaster)
        Raster::Destroy(mRaster);
    mRaster = Raster::Create(width, height, 32, kRasterFlags);
    mWidth = width;
    mHeight = height;
    mPitch = (3 * width + 3) & ~3;
    mBottomUp = rows > 0;
    mPixels.assign(size_t(width) * size_t(height) * 4, 0);
    mFresh = false;
    if (locked)
        TsVideoUnlockFrame();
    return mRaster ? S_OK : E_OUTOFMEMORY;
}

HRESULT TsVideoRenderer::CopyFrame(IMediaSample* sample)
{
    BYTE* source = nullptr;
    if (!sample || FAILED(sample->GetPointer(&source)) || !source)
        return S_OK;
    if (!TsVideoLockFrame())
        return S_OK;
    // The size changes only under the mutex. A short sample would be read past its end.
    const bool whole = int64_t(sample->GetActualDataLength()) >= int64_t(mPitch) * mHeight;
    if (whole && !mPixels.empty())
    {
        uint8_t* to = mPixels.data();
        for (int32_t r = 0; r < mHeight; ++r)
        {
            const uint8_t* from = source + size_t(mBottomUp ? mHeight - 1 - r : r) * size_t(mPitch);
            for (int32_t x = 0; x < mWidth; ++x, from += 3, to += 4)
            {
                to[0] = from[0];
                to[1] = from[1];
                to[2] = from[2];
                to[3] = 255;
            }
        }
        mFresh = true;
    }
    TsVideoUnlockFrame();
    return S_OK;
}

void TsVideoRenderer::ShowLatest()
{
    if (!TsVideoLockFrame())
        return;
    uint8_t* pixels = mFresh && mRaster ? Raster::Lock(mRaster, 0, kRasterLockWrite) : nullptr;
    if (pixels)
    {
        const size_t row = size_t(mWidth) * 4;
        for (int32_t r = 0; r < mHeight; ++r)
            std::memcpy(pixels + size_t(r) * size_t(mRaster->stride), mPixels.data() + size_t(r) * row, row);
        Raster::Unlock(mRaster);
        mFresh = false;
    }
    TsVideoUnlockFrame();
}
