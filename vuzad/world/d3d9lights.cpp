// The engine's lights as Direct3D 9 hardware lights: the light extension with its device
// index, the index allocator, the per-draw collected and enabled lists, the ambient colour
// and the two device light records.
#include "d3d9device.h"
#include "d3d9renderstate.h"
#include "engine.h"
#include "frame.h"
#include "light.h"
#include "matrix.h"
#include "memory.h"
#include "world.h"
#include "worldd3d9.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{

constexpr uint32_t kIndexHint = 0x103050D;
constexpr int32_t kStackGrowth = 256;
constexpr int32_t kListGrowth = 8;
constexpr float kPi = 3.14159265358979f;

struct IndexList
{
    int32_t* indices = nullptr;
    int32_t count = 0;
    int32_t capacity = 0;

    void Free()
    {
        Memory::Free(indices);
        *this = {};
    }

    /// False when the array cannot grow (the index is then not taken).
    bool Push(int32_t index, int32_t growth)
    {
        if (count == capacity)
        {
            auto* grown = static_cast<int32_t*>(
                Memory::Reallocate(indices, size_t(capacity + growth) * sizeof(int32_t), kIndexHint));
            if (!grown)
                return false;
            std::memset(grown + capacity, 0, size_t(growth) * sizeof(int32_t));
            indices = grown;
            capacity += growth;
        }
        indices[count++] = index;
        return true;
    }
};

struct LightTables
{
    bool open = false;  ///< between Open and Close
    IndexList recycled; ///< indices given back by dead lights
    int32_t nextFresh = 0;
    IndexList collected;
    IndexList enabled;
    uint32_t maxActive = 0xFFFFFFFF;
    float ambient[4] = {0, 0, 0, 1.0f};
    D3DLIGHT9 directional{};
    D3DLIGHT9 local{};
};

LightTables sTables;
int32_t sLightDataOffset = -1;

D3D9LightData* DataOf(void* light)
{
    return reinterpret_cast<D3D9LightData*>(static_cast<char*>(light) + sLightDataOffset);
}

void* LightDataConstruct(void* object, int32_t offset, int32_t)
{
    auto* data = reinterpret_cast<D3D9LightData*>(static_cast<char*>(object) + offset);
    *data = {-1, 1.0f, 0.0f, 5.0f};
    return object;
}

void* LightDataDestruct(void* object, int32_t offset, int32_t)
{
    auto* data = reinterpret_cast<D3D9LightData*>(static_cast<char*>(object) + offset);
    const int32_t index = data->deviceIndex;
    data->deviceIndex = -1;
    LightTables& t = sTables;
    // Outside Open .. Close the allocator holds nothing to give back to.
    if (index < 0 || !t.open)
        return object;
    if (t.recycled.count >= t.nextFresh - 1)
    {
        // Every other index is back: start again from 0.
        t.recycled.Free();
        t.nextFresh = 0;
    }
    else
        t.recycled.Push(index, kStackGrowth);
    return object;
}

void* LightDataCopy(void* destination, const void* source, int32_t offset, int32_t)
{
    // A copy gets no device index of its own until it is drawn: sharing the source's would
    // hand the same device slot back twice when both lights die.
    auto* to = reinterpret_cast<D3D9LightData*>(static_cast<char*>(destination) + offset);
    const auto* from = reinterpret_cast<const D3D9LightData*>(static_cast<const char*>(source) + offset);
    *to = *from;
    to->deviceIndex = -1;
    return destination;
}

int32_t DeviceIndex(Light* light)
{
    D3D9LightData* data = DataOf(light);
    if (data->deviceIndex < 0)
    {
        LightTables& t = sTables;
        data->deviceIndex = t.recycled.count > 0 ? t.recycled.indices[--t.recycled.count] : t.nextFresh++;
    }
    return data->deviceIndex;
}

void InitRecords()
{
    D3DLIGHT9& d = sTables.directional;
    d = {};
    d.Type = D3DLIGHT_DIRECTIONAL;
    d.Diffuse.a = 1.0f;
    d.Specular = {0, 0, 0, 1.0f};
    d.Ambient = {0, 0, 0, 1.0f};
    D3DLIGHT9& l = sTables.local;
    l = {};
    l.Type = D3DLIGHT_POINT;
    l.Diffuse.a = 1.0f;
    l.Specular = {0, 0, 0, 1.0f};
    l.Ambient = {0, 0, 0, 1.0f};
    l.Falloff = 1.0f;
}

void SetDiffuse(D3DLIGHT9* record, const Light* light)
{
    record->Diffuse = {light->colour.red, light->colour.green, light->colour.blue, 1.0f};
}

World* CurrentWorld()
{
    Engine* engine = Engine::Current();
    return engine ? static_cast<World*>(engine->currentWorld) : nullptr;
}

} // namespace

int32_t D3D9Lights::Attach()
{
    sLightDataOffset = Light::RegisterPlugin(int32_t(sizeof(D3D9LightData)), kPluginId, LightDataConstruct,
                                             LightDataDestruct, LightDataCopy);
    return sLightDataOffset >= 0 ? 1 : 0;
}

D3D9LightData* D3D9Lights::Data(void* light)
{
    return DataOf(light);
}

int32_t D3D9Lights::Open()
{
    LightTables& t = sTables;
    t.recycled.Free();
    t.collected.Free();
    t.enabled.Free();
    t.nextFresh = 0;
    const D3DCAPS9* caps = D3D9Device::GetCaps();
    const DWORD limit = caps ? caps->MaxActiveLights : 0;
    t.maxActive = limit ? limit : 0xFFFFFFFF;
    t.ambient[0] = t.ambient[1] = t.ambient[2] = 0.0f;
    t.ambient[3] = 1.0f;
    InitRecords();
    D3D9Device::SetAmbientColourSource(t.ambient);
    t.open = true;
    return 1;
}

void D3D9Lights::Close()
{
    LightTables& t = sTables;
    t.recycled.Free();
    t.collected.Free();
    t.enabled.Free();
    t.nextFresh = 0;
    t.open = false;
}

float* D3D9Lights::Ambient()
{
    return sTables.ambient;
}

int32_t D3D9Lights::GetNumEnabled()
{
    return sTables.enabled.count;
}

const int32_t* D3D9Lights::GetEnabled()
{
    return sTables.enabled.indices;
}

int32_t D3D9Lights::AddDirectional(Light* light)
{
    const int32_t index = DeviceIndex(light);
    D3DLIGHT9& record = sTables.directional;
    SetDiffuse(&record, light);
    // Without a frame the light shines along its own default "at", never along the
    // direction the previous light left in the shared record.
    record.Direction = {0, 0, 1};
    if (light->object.frame)
    {
        const Vector& at = Frame::GetWorldMatrix(light->object.frame)->at;
        record.Direction = {at.x, at.y, at.z};
    }
    D3D9Device::SetLight(DWORD(index), &record);
    return sTables.collected.Push(index, kListGrowth) ? 1 : 0;
}

int32_t D3D9Lights::AddLocal(Light* light)
{
    const int32_t index = DeviceIndex(light);
    if (!light->object.frame)
        return 0;
    const Matrix* world = Frame::GetWorldMatrix(light->object.frame);
    D3DLIGHT9& record = sTables.local;
    SetDiffuse(&record, light);
    record.Position = {world->pos.x, world->pos.y, world->pos.z};
    const float radius = light->radius;
    record.Range = radius;
    if (radius == 0.0f)
        return 0;
    const D3D9LightData* data = DataOf(light);
    record.Attenuation0 = data->constantAttenuation;
    record.Attenuation1 = data->linearAttenuation / radius;
    record.Attenuation2 = data->quadraticAttenuation / (radius * radius);
    const float cone = 2.0f * Light::GetConeAngle(light);
    switch (Light::GetType(light))
    {
    case kLightPoint:
        record.Type = D3DLIGHT_POINT;
        record.Direction = {0, 0, 0};
        record.Theta = 0;
        record.Phi = 0;
        break;
    case kLightSpot:
        // Direct3D refuses a cone wider than pi; the inner cone stays just inside the outer.
        record.Type = D3DLIGHT_SPOT;
        record.Direction = {world->at.x, world->at.y, world->at.z};
        record.Phi = std::min(cone, kPi);
        record.Theta = cone < kPi ? cone : record.Phi - 0.001f;
        break;
    case kLightSoftSpot:
        record.Type = D3DLIGHT_SPOT;
        record.Direction = {world->at.x, world->at.y, world->at.z};
        record.Theta = 0;
        record.Phi = std::min(cone, kPi);
        break;
    default:
        return 0;
    }
    D3D9Device::SetLight(DWORD(index), &record);
    return sTables.collected.Push(index, kListGrowth) ? 1 : 0;
}

int32_t D3D9Lights::SetWorldLights(uint32_t mask)
{
    LightTables& t = sTables;
    t.ambient[0] = t.ambient[1] = t.ambient[2] = 0.0f;
    t.ambient[3] = 1.0f;
    int32_t used = 0;
    if (World* world = CurrentWorld())
    {
        for (ListLink* link = world->globalLights.next; link != &world->globalLights; link = link->next)
        {
            Light* light = Light::FromWorldLink(link);
            if (!(light->object.flags & mask))
                continue;
            if (Light::GetType(light) == kLightDirectional)
                AddDirectional(light);
            else
            {
                t.ambient[0] += light->colour.red;
                t.ambient[1] += light->colour.green;
                t.ambient[2] += light->colour.blue;
            }
            used = 1;
        }
    }
    D3D9RenderState::SetRenderState(D3DRS_AMBIENT, used ? 0xFFFFFFFF : 0);
    return used;
}

void D3D9Lights::Apply(int32_t lightingWanted)
{
    LightTables& t = sTables;
    if (!lightingWanted)
    {
        D3D9RenderState::SetRenderState(D3DRS_LIGHTING, 0);
        return;
    }
    if (uint32_t(t.collected.count) > t.maxActive)
        t.collected.count = int32_t(t.maxActive);
    const int32_t* collectedBegin = t.collected.indices;
    const int32_t* collectedEnd = collectedBegin + t.collected.count;
    for (int32_t i = 0; i < t.enabled.count; ++i)
        if (std::find(collectedBegin, collectedEnd, t.enabled.indices[i]) == collectedEnd)
            D3D9Device::EnableLight(DWORD(t.enabled.indices[i]), FALSE);
    if (t.collected.count > 0)
    {
        for (int32_t i = 0; i < t.collected.count; ++i)
            D3D9Device::EnableLight(DWORD(t.collected.indices[i]), TRUE);
        std::swap(t.collected, t.enabled);
    }
    else
        t.enabled.count = 0;
    t.collected.count = 0;
    D3D9RenderState::SetRenderState(D3DRS_LIGHTING, 1);
}
