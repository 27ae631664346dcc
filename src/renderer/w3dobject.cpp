// Static objects, worlds and texture-library entries, and clump bounds.
#include "w3dobject.h"

#include "clump.h"
#include "frame.h"
#include "geometry.h"
#include "hbresource.h"
#include "hbstream.h"
#include "stream.h"
#include "texture.h"
#include "wanimatedtextureset.h"
#include "watomicowner.h"
#include "world.h"
#include "wrenderer.h"
#include "wrenderitem.h"
#include "wtexturemanager.h"
#include "wuvanimregistry.h"

#include <cmath>
#include <vector>

HB_DEFINE_CLASS_DESC(W3dObject, W3dNode);
HB_DEFINE_CLASS_DESC(W3dWorld, HbRoot);

namespace
{
[[maybe_unused]] const int sRegistered = []() -> int
{
    if (HbResourceManager* manager = HbResourceManager::Instance())
    {
        manager->RegisterType("WO", []() -> HbRoot* { return W3dObject::Create(); });
        manager->RegisterType("WW", []() -> HbRoot* { return W3dWorld::Create(); });
        manager->RegisterType("TEX", []() -> HbRoot* { return WTextureLibObject::Create(); });
    }
    return 1;
}();

constexpr uint32_t kClumpChunk = 16;
constexpr uint32_t kWorldChunk = 11;

Stream* EngineStreamOf(HbStream* stream)
{
    HbResourceStream* resource = HbResourceStream::From(stream);
    return resource ? resource->GetEngineStream() : nullptr;
}

struct BoundsWalk
{
    Frame* root;
    std::vector<Vector>* points;
    bool outside;
};

/// The product of the atomic's frame and its ancestors below the clump's frame, each taken
/// orthonormal (copies: the model keeps its own matrices). False when the clump's frame is
/// not reached.
bool ToClumpSpace(Frame* frame, Frame* root, Matrix* out)
{
    Matrix total;
    total.right = {1, 0, 0};
    total.up = {0, 1, 0};
    total.at = {0, 0, 1};
    total.pos = {0, 0, 0};
    total.flags = kMatrixIdentity | kMatrixOrthonormal;
    for (Frame* f = frame; f != root; f = f->parent)
    {
        if (!f)
            return false;
        Matrix ortho, product;
        Matrix::Orthonormalize(&ortho, &f->modelling);
        Matrix::Multiply(&product, &total, &ortho);
        total = product;
    }
    *out = total;
    return true;
}

Atomic* CollectPoints(Atomic* atomic, void* data)
{
    auto* walk = static_cast<BoundsWalk*>(data);
    Matrix m;
    if (!ToClumpSpace(atomic->object.frame, walk->root, &m))
    {
        walk->outside = true;
        return nullptr;
    }
    Geometry* geometry = atomic->geometry;
    if (!geometry || geometry->numVertices <= 0 || !geometry->morphTargets || !geometry->morphTargets[0].positions)
        return atomic;
    const Vector* positions = geometry->morphTargets[0].positions;
    for (int32_t i = 0; i < geometry->numVertices; ++i)
    {
        const Vector& p = positions[i];
        walk->points->push_back({p.x * m.right.x + p.y * m.up.x + p.z * m.at.x + m.pos.x,
                                 p.x * m.right.y + p.y * m.up.y + p.z * m.at.y + m.pos.y,
                                 p.x * m.right.z + p.y * m.up.z + p.z * m.at.z + m.pos.z});
    }
    return atomic;
}

float Distance2(const Vector& a, const Vector& b)
{
    const float x = a.x - b.x, y = a.y - b.y, z = a.z - b.z;
    return x * x + y * y + z * z;
}

Atomic* ClearAtomicLighting(Atomic* atomic, void*)
{
    if (atomic->geometry)
        atomic->geometry->flags &= ~kGeometryLight;
    return atomic;
}

Atomic* ForgetWorld(Atomic* atomic, void*)
{
    if (World* world = Atomic::GetWorld(atomic))
        World::RemoveAtomic(world, atomic);
    return atomic;
}
} // namespace

int32_t ClumpComputeBounds(Clump* clump, Sphere* sphere)
{
    if (!clump || !clump->frame)
        return 0;
    std::vector<Vector> points;
    BoundsWalk walk = {clump->frame, &points, false};
    Clump::ForAllAtomics(clump, CollectPoints, &walk);
    if (walk.outside || points.empty())
        return 0;
    // The extreme points of each axis; the first wins a tie.
    size_t lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
    auto axis = [](const Vector& v, int32_t a) { return a == 0 ? v.x : a == 1 ? v.y : v.z; };
    for (size_t i = 1; i < points.size(); ++i)
        for (int32_t a = 0; a < 3; ++a)
        {
            if (axis(points[i], a) < axis(points[lo[a]], a))
                lo[a] = i;
            if (axis(points[i], a) > axis(points[hi[a]], a))
                hi[a] = i;
        }
    float span[3];
    for (int32_t a = 0; a < 3; ++a)
        span[a] = Distance2(points[lo[a]], points[hi[a]]);
    int32_t pick = span[1] > span[0] ? 1 : 0;
    if (span[2] > span[0] && span[2] > span[1])
        pick = 2;
    const Vector& a = points[lo[pick]];
    const Vector& b = points[hi[pick]];
    Vector centre = {(a.x + b.x) * 0.5f, (a.y + b.y) * 0.5f, (a.z + b.z) * 0.5f};
    float radius = std::sqrt(span[pick]) * 0.5f;
    for (const Vector& p : points)
    {
        const float d2 = Distance2(p, centre);
        if (d2 <= radius * radius)
            continue;
        const float d = std::sqrt(d2);
        const float grown = (radius + d) * 0.5f;
        centre = {(grown * centre.x + (d - grown) * p.x) / d, (grown * centre.y + (d - grown) * p.y) / d,
                  (grown * centre.z + (d - grown) * p.z) / d};
        radius = grown;
    }
    sphere->centre = centre;
    sphere->radius = radius;
    return 1;
}

// ---- Static objects ---------------------------------------------------------------------------------

W3dObject::W3dObject()
{
    SetRenderLayer(2);
    SetFadeRenderLayer(3);
}

W3dObject* W3dObject::Create()
{
    return new W3dObject();
}

W3dObject::~W3dObject()
{
    ClearMoveCollisionSet();
    ClearShootCollisionSet();
    DetachAllChildren();
    // Items refer to the clump's atomics: they leave their lists before the clump goes.
    if (WRenderer* renderer = WRenderer::Existing())
        renderer->RemoveFromRenderLists(this);
    if (mClump)
    {
        Clump::ForAllAtomics(mClump, ForgetWorld, nullptr);
        if (World* world = Clump::GetWorld(mClump))
            World::RemoveClump(world, mClump);
        if (mClump->frame && mClump->frame->parent)
            Frame::RemoveChild(mClump->frame);
        Clump::Destroy(mClump);
        mClump = nullptr;
    }
}

Frame* W3dObject::GetEngineFrame()
{
    return mClump ? mClump->frame : nullptr;
}

void W3dObject::SetClump(Clump* clump)
{
    mClump = clump;
    if (!clump)
        return;
    Sphere bounds;
    if (ClumpComputeBounds(clump, &bounds))
        mBounds = bounds;
    ClumpSetOwnerNode(clump, this);
    Clump::ForAllAtomics(clump, ClearAtomicLighting, nullptr);
}

int W3dObject::Load(HbStream* stream, const char* name)
{
    LoadUVAnimations(name);
    WTextureManager* textures = WTextureManager::Instance();
    if (textures)
        textures->BeginDictionary(name, 0);
    Stream* engine = EngineStreamOf(stream);
    Clump* clump = nullptr;
    if (engine && Stream::FindChunk(engine, kClumpChunk, nullptr, nullptr))
        clump = Clump::StreamRead(engine);
    if (!clump)
    {
        if (textures)
            textures->EndDictionary(name);
        // The dictionary read for this resource must not reach the next one's materials.
        UVAnimAbandonPending();
        return 0;
    }
    SetClump(clump);
    if (WRenderer* renderer = WRenderer::Existing())
        if (WAnimatedTextureSet* set = renderer->GetAnimatedTextures())
            set->LoadForObject(name, this);
    if (textures)
        textures->EndDictionary(name);
    UVAnimAttachToClump(clump);
    SetFlags(GetFlags() | kVisible);
    RenderItemList::Build(this, clump);
    WRenderer::RegisterClump(clump);
    return 1;
}

int W3dObject::ReadChunks(HbMChunkStream* stream)
{
    Matrix matrix;
    if (!HbReadMatrix(stream, matrix))
        return 0;
    if (mClump && mClump->frame)
    {
        mClump->frame->modelling = matrix;
        mClump->frame->modelling.flags = 0;
        Frame::UpdateObjects(mClump->frame);
    }
    return 1;
}

int W3dObject::CloneInto(HbRoot** target)
{
    auto* copy = target ? HbCastTo<W3dObject>(*target) : nullptr;
    if (!copy)
        return 0;
    int result = 0;
    Clump* clump = mClump ? Clump::Clone(mClump) : nullptr;
    if (clump)
    {
        if (World* world = Clump::GetWorld(clump))
            World::RemoveClump(world, clump);
        if (clump->frame)
        {
            Frame::SetIdentity(clump->frame);
        }
        copy->mClump = clump;
        copy->mBounds = mBounds;
        ClumpSetOwnerNode(clump, copy);
        result = 1;
    }
    RenderItemList::Build(copy, copy->mClump);
    return result;
}

void W3dObject::ForAllClumps(ClumpFunction fn, void* user)
{
    if (mClump)
        fn(this, mClump, user);
}

namespace
{
struct AtomicWalk
{
    W3dNode* node;
    W3dNode::AtomicFunction atomicFn;
    W3dNode::FrameFunction frameFn;
    void* user;
    bool stopped;
};

Atomic* VisitAtomic(Atomic* atomic, void* data)
{
    auto* walk = static_cast<AtomicWalk*>(data);
    if (walk->atomicFn(walk->node, atomic, walk->user) == 0)
    {
        walk->stopped = true;
        return nullptr;
    }
    return atomic;
}

Atomic* VisitAtomicFrame(Atomic* atomic, void* data)
{
    auto* walk = static_cast<AtomicWalk*>(data);
    if (walk->frameFn(walk->node, atomic->object.frame, walk->user) == 0)
        return nullptr;
    return atomic;
}
} // namespace

void W3dObject::ForAllAtomics(AtomicFunction fn, void* user)
{
    if (!mClump)
        return;
    AtomicWalk walk = {this, fn, nullptr, user, false};
    Clump::ForAllAtomics(mClump, VisitAtomic, &walk);
}

void W3dObject::ForAllFrames(FrameFunction fn, void* user)
{
    if (!mClump || !mClump->frame)
        return;
    if (fn(this, mClump->frame, user) == 0)
        return;
    AtomicWalk walk = {this, nullptr, fn, user, false};
    Clump::ForAllAtomics(mClump, VisitAtomicFrame, &walk);
}

void W3dObject::OnAddToWorld()
{
    if (WRenderer* renderer = WRenderer::Existing())
        renderer->AddToRenderLists(this, GetRenderLayer());
}

void W3dObject::OnRemoveFromWorld()
{
    if (WRenderer* renderer = WRenderer::Existing())
        renderer->RemoveFromRenderLists(this);
}

// ---- Worlds ------------------------------------------------------------------------------------------

W3dWorld* W3dWorld::Create()
{
    return new W3dWorld();
}

W3dWorld::~W3dWorld()
{
    SetWorld(nullptr);
}

void W3dWorld::SetWorld(World* world)
{
    if (mWorld && mWorld != world)
        World::Destroy(mWorld);
    mWorld = world;
}

int W3dWorld::Load(HbStream* stream, const char* name)
{
    LoadUVAnimations(name);
    WTextureManager* textures = WTextureManager::Instance();
    if (textures)
        textures->BeginDictionary(name, 0);
    Stream* engine = EngineStreamOf(stream);
    World* world = nullptr;
    if (engine && Stream::FindChunk(engine, kWorldChunk, nullptr, nullptr))
        world = World::StreamRead(engine);
    int result = 0;
    if (world)
    {
        SetWorld(world);
        if (WRenderer* renderer = WRenderer::Existing())
            if (WAnimatedTextureSet* set = renderer->GetAnimatedTextures())
                set->LoadForWorld(name, world);
        result = 1;
    }
    if (textures)
        textures->EndDictionary(name);
    if (world)
        UVAnimAttachToWorld(world);
    else
        UVAnimAbandonPending();
    return result;
}

int W3dWorld::WriteChunks(HbMChunkStream* stream)
{
    HbResourceStream* resource = dynamic_cast<HbResourceStream*>(stream);
    Stream* engine = resource ? resource->GetEngineStream() : nullptr;
    if (!engine || !mWorld)
        return 0;
    return World::StreamWrite(mWorld, engine) ? 1 : 0;
}

// ---- Texture-library entries ------------------------------------------------------------------------

WTextureLibObject* WTextureLibObject::Create()
{
    return new WTextureLibObject();
}

WTextureLibObject::~WTextureLibObject()
{
    if (mTexture)
        Texture::Destroy(mTexture);
    mTexture = nullptr;
}

int WTextureLibObject::Load(HbStream*, const char* name)
{
    mName = name ? name : "";
    WTextureManager* manager = WTextureManager::Instance();
    mTexture = manager ? manager->GetTexture(mName.c_str()) : nullptr;
    return mTexture ? 1 : 0;
}

int WTextureLibObject::CloneInto(HbRoot** target)
{
    auto* copy = target ? static_cast<WTextureLibObject*>(*target) : nullptr;
    WTextureManager* manager = WTextureManager::Instance();
    Texture* texture = manager && copy ? manager->GetTexture(mName.c_str()) : nullptr;
    if (!texture)
        return 0;
    copy->mName = mName;
    if (copy->mTexture)
        Texture::Destroy(copy->mTexture);
    copy->mTexture = texture;
    return 1;
}
