#include "rasterreadback.h"

#include "raster.h"

#include <cstring>

namespace framecheck
{

std::vector<uint32_t> ReadRaster(Raster* raster, bool keepAlpha)
{
    std::vector<uint32_t> pixels;
    const uint8_t* bits = Raster::Lock(raster, 0, kRasterLockRead);
    if (!bits)
        return pixels;
    const uint32_t alpha = keepAlpha ? 0u : 0xFF000000u;
    pixels.reserve(size_t(raster->width) * size_t(raster->height));
    for (int32_t y = 0; y < raster->height; ++y)
        for (int32_t x = 0; x < raster->width; ++x)
        {
            uint32_t value;
            std::memcpy(&value, bits + size_t(y) * size_t(raster->stride) + 4 * size_t(x), 4);
            pixels.push_back(value | alpha);
        }
    Raster::Unlock(raster);
    return pixels;
}

} // namespace framecheck
