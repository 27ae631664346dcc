// The engine plug-ins the renderer attaches: their order, their extensions sized from the
// records they hold, their engine opens at start and closes at stop, and registrations
// refused once the engine is open.
#include "animation.h"
#include "camera.h"
#include "clump.h"
#include "collision.h"
#include "engine.h"
#include "enginepluginlist.h"
#include "frame.h"
#include "geometry.h"
#include "hierarchy.h"
#include "light.h"
#include "material.h"
#include "matfx.h"
#include "mipmapkl.h"
#include "plugin.h"
#include "prtstd.h"
#include "ptank.h"
#include "random.h"
#include "renderer_fixture.h"
#include "skin.h"
#include "splinecurve.h"
#include "texture.h"
#include "userdata.h"
#include "uvanim.h"
#include "watomicowner.h"
#include "world.h"
#include "wsectorobjecttable.h"

#include <algorithm>

namespace renderertest
{
namespace
{

using PluginAttach = RendererTest;

const int32_t kSubsystemIds[] = {PTank::kPluginId,  MatFx::kPluginId,   UVAnim::kPluginId,    SplineCurve::kPluginId,
                                 Random::kPluginId, PrtStd::kPluginId,  Animation::kPluginId, Hierarchy::kPluginId,
                                 Skin::kPluginId,   UserData::kPluginId};

// The ids of a registry in registration order.
std::vector<int32_t> Ids(const PluginRegistry* registry)
{
    std::vector<int32_t> ids;
    for (const PluginEntry* entry = registry->first; entry; entry = entry->next)
        ids.push_back(entry->pluginId);
    return ids;
}

// The size an extension asked for, or -1 when the id has none in the registry.
int32_t ExtensionSize(const PluginRegistry* registry, int32_t pluginId)
{
    for (const PluginEntry* entry = registry->first; entry; entry = entry->next)
        if (entry->pluginId == pluginId)
            return entry->size;
    return -1;
}

int32_t Position(const std::vector<int32_t>& ids, int32_t id)
{
    auto it = std::find(ids.begin(), ids.end(), id);
    return it == ids.end() ? -1 : int32_t(it - ids.begin());
}

TEST_F(PluginAttach, EnginePluginsAttachInTheRenderersOrder)
{
    WRenderer* renderer = Construct();
    ASSERT_EQ(renderer->GetStateBits(), uint32_t(WRenderer::kEngineInitialised | WRenderer::kEngineOpened));

    std::vector<int32_t> all = Ids(Engine::Registry());
    std::vector<int32_t> attached;
    for (int32_t id : all)
        if (std::find(std::begin(kSubsystemIds), std::end(kSubsystemIds), id) != std::end(kSubsystemIds))
            attached.push_back(id);
    // The world, then the tank, effects and UV animation, then the list: spline, random,
    // standard particles, keyframes with hierarchies and skin, user data.
    EXPECT_EQ(attached, (std::vector<int32_t>{303, 288, 309, 258, 268, 304, 439, 286, 278, 287}));
    EXPECT_LT(Position(all, Clump::kPluginId), Position(all, kCollisionPluginId)) << "the world attaches first";
    EXPECT_LT(Position(all, kCollisionPluginId), Position(all, PTank::kPluginId)) << "collision right after it";
    EXPECT_GE(MipmapKL::GetTextureOffset(), 0) << "the mipmap-K word is on the list too";

    // The sector object table and the atomic owner extension register object extensions
    // only: their places show in the sector and atomic registries.
    std::vector<int32_t> sectors = Ids(WorldSector::Registry());
    EXPECT_LT(Position(sectors, MatFx::kPluginId), Position(sectors, SectorObjectTable::kPluginId));
    EXPECT_LT(Position(sectors, SectorObjectTable::kPluginId), Position(sectors, UserData::kPluginId))
        << "the sector table before the animation plug-ins and user data";
    std::vector<int32_t> atomics = Ids(Atomic::Registry());
    EXPECT_LT(Position(atomics, PrtStd::kPluginId), Position(atomics, Skin::kPluginId));
    EXPECT_LT(Position(atomics, Skin::kPluginId), Position(atomics, AtomicOwner::kPluginId))
        << "the owner extension after skinning";
    EXPECT_EQ(Position(atomics, AtomicOwner::kPluginId), int32_t(atomics.size()) - 1) << "and last of the atomic's";
}

TEST_F(PluginAttach, ExtensionsAreSizedFromTheirRecords64Bit)
{
    Construct();
    struct Case
    {
        const char* type;
        PluginRegistry* registry;
        int32_t pluginId;
        size_t size;
    } cases[] = {
        {"engine", Engine::Registry(), PTank::kPluginId, sizeof(PTankEngineBlock)},
        {"engine", Engine::Registry(), Random::kPluginId, sizeof(RandomBlock)},
        {"engine", Engine::Registry(), SplineCurve::kPluginId, 0},
        {"atomic", Atomic::Registry(), PTank::kPluginId, sizeof(void*)},
        {"atomic", Atomic::Registry(), PrtStd::kPluginId, sizeof(void*)},
        {"atomic", Atomic::Registry(), MatFx::kPluginId, 4},
        {"atomic", Atomic::Registry(), Skin::kPluginId, sizeof(void*)},
        {"atomic", Atomic::Registry(), AtomicOwner::kPluginId, sizeof(AtomicOwnerData)},
        {"material", Material::Registry(), MatFx::kPluginId, sizeof(void*)},
        {"material", Material::Registry(), UVAnim::kPluginId, 10 * sizeof(void*)},
        {"material", Material::Registry(), UserData::kPluginId, 16},
        {"sector", WorldSector::Registry(), MatFx::kPluginId, 4},
        {"sector", WorldSector::Registry(), UserData::kPluginId, 16},
        {"sector", WorldSector::Registry(), SectorObjectTable::kPluginId, sizeof(void*)},
        {"geometry", Geometry::Registry(), Skin::kPluginId, sizeof(void*)},
        {"geometry", Geometry::Registry(), UserData::kPluginId, 16},
        {"frame", Frame::Registry(), Hierarchy::kPluginId, 16},
        {"frame", Frame::Registry(), UserData::kPluginId, 16},
        {"camera", Camera::Registry(), UserData::kPluginId, 16},
        {"light", Light::Registry(), UserData::kPluginId, 16},
        {"texture", Texture::Registry(), UserData::kPluginId, 16},
        {"texture", Texture::Registry(), MipmapKL::kPluginId, 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ExtensionSize(c.registry, c.pluginId), int32_t(c.size)) << c.type << " " << c.pluginId;
}

TEST_F(PluginAttach, OpensRunAtEveryStartAndClosesAtEveryStop)
{
    WRenderer* renderer = Started();
    auto openCounts = []
    {
        return std::vector<int32_t>{AnimToolkit::GetOpenCount(), HierarchyPlugin::GetOpenCount(),
                                    SkinPlugin::GetOpenCount(),  SplineCurve::GetOpenCount(),
                                    PrtStd::GetOpenCount(),      UserData::GetOpenCount(),
                                    MatFx::GetOpenCount(),       UVAnim::GetOpenCount()};
    };
    auto tankOpens = []
    { return static_cast<PTankEngineBlock*>(Engine::Block(Engine::Current(), PTank::GetEngineOffset()))->openCount; };
    EXPECT_EQ(openCounts(), std::vector<int32_t>(8, 1));
    EXPECT_EQ(tankOpens(), 1);
    renderer->Stop();
    EXPECT_EQ(openCounts(), std::vector<int32_t>(8, 0));
    EXPECT_EQ(tankOpens(), 0);
    ASSERT_EQ(renderer->Start(Window()), 1);
    EXPECT_EQ(openCounts(), std::vector<int32_t>(8, 1));
    EXPECT_EQ(tankOpens(), 1);
}

TEST_F(PluginAttach, NewObjectsCarryEmptyExtensions)
{
    Started();
    Atomic* atomic = Atomic::Create();
    ASSERT_NE(atomic, nullptr);
    EXPECT_EQ(PTank::GetAtomicExtension(atomic)->tank, nullptr);
    EXPECT_EQ(PrtStd::GetAtomicExtension(atomic)->emitters, nullptr);
    Atomic::Destroy(atomic);

    Frame* frame = Frame::Create();
    ASSERT_NE(frame, nullptr);
    Hierarchy::GetFrameExtension(frame)->nodeId = 7;
    Frame* copy = Frame::CloneHierarchy(frame);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(Hierarchy::GetFrameExtension(copy)->nodeId, 7) << "a clone keeps its node id";
    EXPECT_EQ(Hierarchy::GetFrameExtension(copy)->hierarchy, nullptr);
    Frame::Destroy(copy);
    Frame::Destroy(frame);
}

TEST_F(PluginAttach, RegistrationsAreRefusedOnceTheEngineIsOpen)
{
    Construct();
    int32_t tankOffset = PTank::GetAtomicOffset();
    for (EnginePluginAttach attach :
         {PTank::Attach, MatFx::Attach, UVAnim::Attach, SplineCurve::Attach, Random::Attach, PrtStdAttach,
          EnginePluginList::AttachAnimationPlugins, UserData::Attach, MipmapKL::Attach})
        EXPECT_EQ(attach(), 0);
    EXPECT_EQ(PTank::GetAtomicOffset(), tankOffset) << "a refusal keeps the offset of the attach that took";
    EXPECT_EQ(EnginePluginList::RunAll(), 0);
}

} // namespace
} // namespace renderertest
