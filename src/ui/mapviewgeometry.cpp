// The map screen's arithmetic.
#include "mapviewgeometry.h"

#include <algorithm>
#include <cstdio>

const MapUv kMapBaseUvs[4] = {{0.0f, 1.0f}, {1.0f, 1.0f}, {1.0f, 0.0f}, {0.0f, 0.0f}};

void MapTexCoords(const MapUv base[4], float zoom, float panX, float panY, MapUv out[4])
{
    if (zoom > 1.0f)
    {
        // Scaled about the window's centre: corner 1's u and corner 0's v carry the half-extra.
        float c = 1.0f / zoom;
        float h = (zoom - 1.0f) * 0.5f;
        for (int k = 0; k < 4; ++k)
        {
            out[k].u = c * (base[k].u - panX) + h * c * (base[1].u - panX);
            out[k].v = c * (base[k].v - panY) + h * c * (base[0].v - panY);
        }
        return;
    }
    for (int k = 0; k < 4; ++k)
        out[k] = {base[k].u - panX, base[k].v - panY};
}

MapUv MapWorldToMap(float x, float z, float zoom, float cu, float cv)
{
    float u = 0.5f + x * kMapUnitsToTexture;
    float v = 0.5f + z * kMapUnitsToTexture;
    return {(u - cu) * zoom * kMapWidth, (cv - v) * zoom * kMapHeight};
}

float MapZoomFrame(float zoom, bool zoomIn, bool zoomOut)
{
    if (zoomIn)
        zoom *= kMapZoomStep;
    if (zoomOut)
        zoom /= kMapZoomStep;
    if (!(zoom >= kMapMinZoom)) // NaN lands on the lower limit
        return kMapMinZoom;
    return std::min(zoom, kMapMaxZoom);
}

bool MapHeroInside(float x, float y)
{
    return x - kMapHeroMargin > 0.0f && x + kMapHeroMargin < kMapWidth && y - kMapHeroMargin > 0.0f &&
           y + kMapHeroMargin < kMapHeight;
}

std::string MapMarkerText(int32_t number, int32_t kind, int32_t mainCount)
{
    char text[16];
    std::snprintf(text, sizeof(text), "%d", kind == 1 ? number - mainCount : number);
    return text;
}

int32_t MapScrollTarget(const MapEntryMark* marks, int32_t count, int32_t current, int32_t step)
{
    for (int32_t i = current + step; i >= 0 && i < count; i += step)
    {
        if (marks[i] == MapEntryMark::kNone)
            return current;
        if (marks[i] == MapEntryMark::kVisible)
            return i;
    }
    return current;
}

namespace
{

/// Cuts [from, to] (with texture coordinates [tFrom, tTo]) to [0, limit].
bool ClipAxis(float* from, float* to, float* tFrom, float* tTo, float limit)
{
    float a = *from;
    float b = *to;
    if (!(b > a) || b <= 0.0f || a >= limit)
        return false;
    float ta = *tFrom;
    float tb = *tTo;
    auto at = [&](float x) { return ta + (tb - ta) * (x - a) / (b - a); };
    if (a < 0.0f)
    {
        *from = 0.0f;
        *tFrom = at(0.0f);
    }
    if (b > limit)
    {
        *to = limit;
        *tTo = at(limit);
    }
    return true;
}

} // namespace

bool MapClipQuad(const MapQuad& quad, MapQuad* clipped)
{
    *clipped = quad;
    return ClipAxis(&clipped->left, &clipped->right, &clipped->uLeft, &clipped->uRight, kMapWidth) &&
           ClipAxis(&clipped->bottom, &clipped->top, &clipped->vBottom, &clipped->vTop, kMapHeight);
}

void MapClampPan(MapPanState* view)
{
    float half = view->zoom * 0.5f;
    view->panX = std::clamp(view->panX, -half, half);
    view->panY = std::clamp(view->panY, -half, half);
}

void MapRecentre(MapPanState* view, const float* markerXz)
{
    // A mission without any objective action has no record to read.
    if (!markerXz)
        return;
    view->zoom = 1.0f;
    view->panX = 0.0f;
    view->panY = 0.0f;
    MapUv window[4];
    MapTexCoords(kMapBaseUvs, view->zoom, view->panX, view->panY, window);
    float f = (markerXz[0] * kMapUnitsToTexture + 0.5f - window[0].u) * view->zoom;
    view->panX = 0.5f - f * kMapWidth * 1.3333334f;
    view->zoom = 3.0f;
    view->panY = (window[0].v - (markerXz[1] * kMapUnitsToTexture + 0.5f)) * kMapHeight * 2.0f - 0.5f;
    MapClampPan(view);
}
