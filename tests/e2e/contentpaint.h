// References painted from the set's own pictures: a picture stretched over a screen rectangle is
// sampled between its four nearest texels, as the device filters it. Where those texels differ
// or the texels round them (an edge inside the picture: a letter, a flag's stripe) the device's
// rounding decides, so the frame's own pixel stands there; so it does a texel's width round the
// rectangle's edges.
#pragma once

#include "contentset.h"
#include "uisupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace e2etest
{

inline const ContentResource& ContentResourceOf(const char* id)
{
    for (const ContentGroup& group : ContentGroups())
        for (const ContentResource& resource : group.resources)
            if (std::string(resource.id) == id)
                return resource;
    ADD_FAILURE() << id << " is not in the set";
    static const ContentResource none{};
    return none;
}

/// The picture over the rectangle (screen fractions, top left x, y), its colours scaled by
/// grey / 255 and blended at alpha over what the reference holds.
inline void PaintContentPicture(uitest::Reference& reference, const std::vector<uint32_t>& actual, const char* id,
                                float x, float y, float w, float h, int grey = 255, uint8_t alpha = 255)
{
    int32_t tw = 0, th = 0;
    const std::vector<uint8_t> texels = ContentPicturePixels(ContentResourceOf(id), &tw, &th);
    ASSERT_GT(tw, 0) << id;
    auto texel = [&](int32_t i, int32_t j, int c)
    {
        i = std::clamp(i, 0, tw - 1);
        j = std::clamp(j, 0, th - 1);
        const int v = int(texels[(size_t(j) * size_t(tw) + size_t(i)) * 4 + size_t(c)]);
        // The device keeps the 16-bit screen's texels: 5 bits of red and blue, 6 of green.
        return c == 1 ? (v >> 2) << 2 | v >> 6 : c == 3 ? v : (v >> 3) << 3 | v >> 5;
    };
    for (int32_t py = 0; py < reference.height; ++py)
    {
        const float cy = (float(py) + 0.5f) / float(reference.height);
        if (cy < y || cy >= y + h)
            continue;
        for (int32_t px = 0; px < reference.width; ++px)
        {
            const float cx = (float(px) + 0.5f) / float(reference.width);
            if (cx < x || cx >= x + w)
                continue;
            const size_t at = size_t(py) * size_t(reference.width) + size_t(px);
            const float fu = (cx - x) / w * float(tw) - 0.5f, fv = (cy - y) / h * float(th) - 0.5f;
            const int32_t i = int32_t(std::floor(fu)), j = int32_t(std::floor(fv));
            const float a = fu - float(i), b = fv - float(j);
            float mixed[4];
            bool edge = false;
            for (int c = 0; c < 4; ++c)
            {
                const int t00 = texel(i, j, c), t10 = texel(i + 1, j, c), t01 = texel(i, j + 1, c),
                          t11 = texel(i + 1, j + 1, c);
                // The device may place its samples up to half a pixel from the centres taken
                // here: the texels round the four must agree as well.
                int low = t00, high = t00;
                for (int dj = -1; dj <= 2; ++dj)
                    for (int di = -1; di <= 2; ++di)
                    {
                        low = std::min(low, texel(i + di, j + dj, c));
                        high = std::max(high, texel(i + di, j + dj, c));
                    }
                edge |= high - low > 24;
                mixed[c] =
                    (float(t00) * (1 - a) + float(t10) * a) * (1 - b) + (float(t01) * (1 - a) + float(t11) * a) * b;
            }
            if (edge)
            {
                reference.pixels[at] = actual[at];
                continue;
            }
            const float cover = mixed[3] / 255.0f * float(alpha) / 255.0f;
            uint32_t out = 0xFF000000u;
            for (int c = 0; c < 3; ++c)
            {
                const int shift = 16 - 8 * c;
                const float under = float((reference.pixels[at] >> shift) & 0xFF);
                const float over = mixed[c] * float(grey) / 255.0f;
                out |= uint32_t(std::lround(over * cover + under * (1 - cover))) << shift;
            }
            reference.pixels[at] = out;
        }
    }
    const float texelPixels = std::max(w * float(reference.width) / float(tw), h * float(reference.height) / float(th));
    reference.IgnoreEdges(x, y, w, h, actual, texelPixels + 1.0f);
}

/// The colour of a flat picture's fill (what its middle shows), as 0xRRGGBB.
inline uint32_t ContentFill(const char* id)
{
    const ContentResource& resource = ContentResourceOf(id);
    int32_t tw = 0, th = 0;
    const std::vector<uint8_t> texels = ContentPicturePixels(resource, &tw, &th);
    if (tw == 0)
        return 0;
    const size_t at = (size_t(th / 2) * size_t(tw) + size_t(tw / 2)) * 4;
    return uint32_t(texels[at]) << 16 | uint32_t(texels[at + 1]) << 8 | texels[at + 2];
}

} // namespace e2etest
