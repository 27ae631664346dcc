// Gathering the lights that touch an atomic or a world sector into the constant block of a
// generated vertex shader.
#include "vertexshader.h"

#include "clump.h"
#include "engine.h"
#include "frame.h"
#include "geometry.h"
#include "light.h"
#include "world.h"

#include <iterator>

namespace
{

struct Gathering
{
    VertexShaderLightSet set;
    VertexShaderLight records[3 * VertexShaderLightSet::kMaxPerKind + 1];
    int32_t used = 0;

    void Add(Light* light)
    {
        int32_t type = Light::GetType(light);
        const Matrix* frame = light->object.frame ? Frame::GetWorldMatrix(light->object.frame) : nullptr;
        // Every kind but ambient needs the frame's direction or position.
        if ((type != kLightAmbient && !frame) || used == int32_t(std::size(records)))
            return;
        VertexShaderLight& r = records[used];
        r = {type, light->colour.red, light->colour.green, light->colour.blue, frame, light->radius,
             -light->minusCosAngle};
        if (set.Add(&r) && type != kLightAmbient)
            ++used;
    }
};

bool Overlaps(const Light* light, const Sphere* sphere)
{
    const Vector& p = Frame::GetWorldMatrix(light->object.frame)->pos;
    float dx = p.x - sphere->centre.x, dy = p.y - sphere->centre.y, dz = p.z - sphere->centre.z;
    float reach = light->radius + sphere->radius;
    return reach * reach > dx * dx + dy * dy + dz * dz;
}

} // namespace

float (*VertexShader::GatherLights(void* object, int32_t objectType, float (*block)[4],
                                   VertexShaderDescriptor* descriptor))[4]
{
    Engine* engine = Engine::Current();
    World* world = engine ? static_cast<World*>(engine->currentWorld) : nullptr;
    const bool isAtomic = objectType == 1;
    Atomic* atomic = isAtomic ? static_cast<Atomic*>(object) : nullptr;
    WorldSector* sector = isAtomic ? nullptr : static_cast<WorldSector*>(object);
    uint32_t flags = isAtomic ? (atomic->geometry ? atomic->geometry->flags : 0) : (world ? world->formatFlags : 0);
    const bool prelit = flags & kGeometryPrelit;
    const bool normals = flags & kGeometryNormals;

    Gathering g;
    if (!(flags & kGeometryLight) || !world)
        return g.set.Write(block, descriptor, prelit);

    const uint8_t bit = isAtomic ? kLightLightsAtomics : kLightLightsWorld;
    for (ListLink* link = world->globalLights.next; link != &world->globalLights; link = link->next)
    {
        Light* light = Light::FromWorldLink(link);
        if (!(light->object.flags & bit))
            continue;
        int32_t type = Light::GetType(light);
        if (type == kLightAmbient || (type == kLightDirectional && (!isAtomic || normals)))
            g.Add(light);
    }

    if (!isAtomic || normals)
    {
        // Each light once per gathering, however many sectors tie it to the object.
        uint32_t stamp = ++engine->lightFrame;
        const Sphere* sphere = isAtomic ? Atomic::GetWorldBoundingSphere(atomic) : nullptr;
        auto visitSector = [&](WorldSector* s) {
            for (ListLink* link = s->lightTies.next; link != &s->lightTies; link = link->next)
            {
                Light* light = static_cast<Light*>(SectorTie::FromSectorLink(link)->object);
                if (light->lightStamp == stamp)
                    continue;
                light->lightStamp = stamp;
                if (!(light->object.flags & bit) || !light->object.frame)
                    continue;
                if (sphere && !Overlaps(light, sphere))
                    continue;
                int32_t type = Light::GetType(light);
                if (type == kLightPoint || type == kLightSpot || type == kLightSoftSpot)
                    g.Add(light);
            }
        };
        if (isAtomic)
        {
            for (ListLink* link = atomic->sectorTies.next; link != &atomic->sectorTies; link = link->next)
                visitSector(SectorTie::FromObjectLink(link)->sector);
        }
        else
            visitSector(sector);
    }
    return g.set.Write(block, descriptor, prelit);
}
