// Image resampling: an area average of a 32-bit image onto another size, with 16.16
// fixed-point steps, as textures are brought to the sizes the device accepts.
#include "image.h"

#include "error.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace
{

/// The source pixels one destination column (or row) covers, and their weights.
struct Span
{
    int32_t first;
    int32_t last;
    float firstWeight; ///< of the first pixel when the span covers more than one
    float lastWeight;
    float scale; ///< 1 / the span's length, both in pixels
};

/// Destination i covers [i x step, i x step + step - 1] in 16.16 source positions. Within
/// the span the first pixel counts from the span's start to its end, the last from its
/// start to the span's end, the ones between fully; a span inside one pixel is that pixel.
std::vector<Span> MakeSpans(int32_t sourceSize, int32_t destinationSize)
{
    int64_t step = int64_t(float(sourceSize) / float(destinationSize) * 65536.0f);
    if (step < 1)
        step = 1;
    std::vector<Span> spans(static_cast<size_t>(destinationSize));
    for (int32_t i = 0; i < destinationSize; ++i)
    {
        int64_t start = int64_t(i) * step;
        int64_t end = start + step - 1;
        Span& span = spans[size_t(i)];
        span.first = int32_t(start >> 16);
        span.last = int32_t(end >> 16);
        // Truncated steps never reach past the source, but a rounding in the float step
        // must not either.
        if (span.last >= sourceSize)
            span.last = sourceSize - 1;
        if (span.first > span.last)
            span.first = span.last;
        if (span.first == span.last)
        {
            span.firstWeight = span.lastWeight = span.scale = 1.0f;
            continue;
        }
        span.firstWeight = float((int64_t(span.first + 1) << 16) - start) / 65536.0f;
        span.lastWeight = float(end - (int64_t(span.last) << 16)) / 65536.0f;
        span.scale = 1.0f / (float(end - start) / 65536.0f);
    }
    return spans;
}

float SpanWeight(const Span& span, int32_t i)
{
    if (span.first == span.last)
        return 1.0f;
    return i == span.first ? span.firstWeight : i == span.last ? span.lastWeight : 1.0f;
}

struct UnitTable
{
    float value[256];
    UnitTable()
    {
        for (int32_t i = 0; i < 256; ++i)
            value[i] = float(i) / 255.0f;
    }
};

const UnitTable kUnit;

} // namespace

Image* Image::Resample(Image* destination, const Image* source)
{
    if (destination->depth != 32 || source->depth != 32)
    {
        Error::Report(0, kErrImageFormat);
        return nullptr;
    }
    if (!destination->pixels || !source->pixels || destination->width <= 0 || destination->height <= 0 ||
        source->width <= 0 || source->height <= 0 || destination->stride < RowBytes(destination) ||
        source->stride < RowBytes(source))
    {
        Error::Report(0, kErrNullArgument);
        return nullptr;
    }
    destination->flags |= source->flags & kImageGammaCorrected;

    std::vector<Span> columns = MakeSpans(source->width, destination->width);
    std::vector<Span> rows = MakeSpans(source->height, destination->height);
    std::vector<float> sum(size_t(destination->width) * 4);
    for (int32_t y = 0; y < destination->height; ++y)
    {
        const Span& rowSpan = rows[size_t(y)];
        std::fill(sum.begin(), sum.end(), 0.0f);
        for (int32_t sy = rowSpan.first; sy <= rowSpan.last; ++sy)
        {
            float rowWeight = SpanWeight(rowSpan, sy);
            const uint8_t* in = source->pixels + size_t(sy) * size_t(source->stride);
            for (int32_t x = 0; x < destination->width; ++x)
            {
                const Span& span = columns[size_t(x)];
                float across[4] = {0, 0, 0, 0};
                for (int32_t sx = span.first; sx <= span.last; ++sx)
                {
                    float weight = SpanWeight(span, sx);
                    const uint8_t* pixel = in + 4 * size_t(sx);
                    for (int32_t c = 0; c < 4; ++c)
                        across[c] += kUnit.value[pixel[c]] * weight;
                }
                float* out = &sum[4 * size_t(x)];
                for (int32_t c = 0; c < 4; ++c)
                    out[c] += across[c] * span.scale * rowWeight;
            }
        }
        uint8_t* out = destination->pixels + size_t(y) * size_t(destination->stride);
        for (int32_t i = 0; i < destination->width * 4; ++i)
        {
            float value = sum[size_t(i)] * rowSpan.scale * 255.0f + 0.5f;
            out[i] = value >= 255.0f ? 255 : value > 0.0f ? uint8_t(value) : 0;
        }
    }
    return destination;
}

Image* Image::CreateResampled(const Image* source, int32_t width, int32_t height)
{
    Image* result = Create(width, height, 32);
    if (!result)
        return nullptr;
    if (!AllocatePixels(result))
    {
        Destroy(result);
        return nullptr;
    }
    Image* answer = nullptr;
    if (source->depth == 32)
    {
        answer = Resample(result, source);
    }
    else if (Image* wide = Create(source->width, source->height, 32))
    {
        if (AllocatePixels(wide) && ConvertPixels(wide, source))
        {
            wide->flags |= source->flags & kImageGammaCorrected;
            answer = Resample(result, wide);
        }
        Destroy(wide);
    }
    if (!answer)
        Destroy(result);
    return answer;
}
