// The map screen's arithmetic: the texture window for a zoom and a pan, world positions on the map,
// the zoom steps and limits, the hero's drawing margin, the marker numbers and the objective arrows'
// search for the next selectable entry.
#pragma once

#include <cstdint>
#include <string>

struct MapUv
{
    float u;
    float v;
};

constexpr float kMapMinZoom = 1.0f;
constexpr float kMapMaxZoom = 7.5f;
constexpr float kMapZoomStep = 1.001f;
constexpr float kMapWidth = 0.75f;
constexpr float kMapHeight = 0.5f;
/// Texture widths per world unit: the map texture spans 50000 units around the world origin.
constexpr float kMapUnitsToTexture = 0.00002f;
/// Half the hero icon: the hero is drawn only this far inside every edge.
constexpr float kMapHeroMargin = 0.026041666f;

/// The untouched window: corners 0 to 3 at (0, 1), (1, 1), (1, 0), (0, 0).
extern const MapUv kMapBaseUvs[4];

/// The window into the map texture for the zoom and the pan.
void MapTexCoords(const MapUv base[4], float zoom, float panX, float panY, MapUv out[4]);

/// A world position (x, z) in map coordinates (0..0.75 by 0..0.5, y upward) for the zoom and the window's
/// corner 0 (cu, cv).
MapUv MapWorldToMap(float x, float z, float zoom, float cu, float cv);

/// One frame of zooming: in multiplies by the step, out divides; the result within [1, 7.5].
float MapZoomFrame(float zoom, bool zoomIn, bool zoomOut);

/// True when the hero icon centred at the map position lies wholly inside the map.
bool MapHeroInside(float x, float y);

/// A marker's number: secondary objectives of kind 1 count after the main ones.
std::string MapMarkerText(int32_t number, int32_t kind, int32_t mainCount);

/// What an objective entry offers to the arrows.
enum class MapEntryMark : uint8_t
{
    kNone,    ///< no marker record: the search stops there
    kHidden,  ///< a marker not yet visible: skipped
    kVisible, ///< selectable
};

/// The entry the arrows move to from current, one step (+1 or -1) at a time over count entries; current
/// itself when the search finds nothing or stops.
int32_t MapScrollTarget(const MapEntryMark* marks, int32_t count, int32_t current, int32_t step);

/// A textured rectangle: its corners in map coordinates and the texture coordinates along each axis.
struct MapQuad
{
    float left, bottom, right, top;
    float uLeft, uRight, vBottom, vTop;
};

/// Cuts the quad at the map's edges, interpolating the texture coordinates of every cut side, so that
/// only the part inside is drawn; false when nothing is left.
bool MapClipQuad(const MapQuad& quad, MapQuad* clipped);

/// The zoom and pan the player drives.
struct MapPanState
{
    float zoom;
    float panX;
    float panY;
};

/// Keeps each pan within [-zoom/2, zoom/2].
void MapClampPan(MapPanState* view);

/// Recentres on a marker at world (x, z): zoom 3 around it, the pans clamped. Without a marker record
/// (marker null) nothing changes.
void MapRecentre(MapPanState* view, const float* markerXz);
