// Test helpers for the world module.
#include "worldfixture.h"

#include "engine.h"
#include "stream.h"

void WorldFixture::SetUp()
{
    EngineFixture::SetUp();
    ASSERT_NE(Engine::Init(TestMemory::Functions(), 0, 0), 0);
    ASSERT_EQ(World::Attach(), 1);
    ASSERT_EQ(Engine::Open(&mWindow), 1);
    ASSERT_EQ(Engine::Start(), 1);
}

TestWorld::TestWorld(bool split, float leftExtent, float rightExtent)
{
    World::InitRecord(&world);
    MaterialList::Init(&world.materials);
    WorldSector::InitLeaf(&left);
    WorldSector::InitLeaf(&right);
    left.box = {{10, 10, 10}, {-10, -10, -10}};
    right.box = left.box;
    if (!split)
    {
        world.rootSector = reinterpret_cast<SectorNode*>(&left);
        return;
    }
    left.box.sup.x = leftExtent;
    right.box.inf.x = rightExtent;
    plane = {0,          0.0f,       reinterpret_cast<SectorNode*>(&left), reinterpret_cast<SectorNode*>(&right),
             leftExtent, rightExtent};
    world.rootSector = reinterpret_cast<SectorNode*>(&plane);
}

TestWorld::~TestWorld()
{
    MaterialList::Deinit(&world.materials);
}

std::vector<WorldSector*> TiedSectors(ListLink* ties)
{
    std::vector<WorldSector*> out;
    for (ListLink* l = ties->next; l != ties; l = l->next)
        out.push_back(SectorTie::FromObjectLink(l)->sector);
    return out;
}

std::vector<void*> TiedObjects(ListLink* ties)
{
    std::vector<void*> out;
    for (ListLink* l = ties->next; l != ties; l = l->next)
        out.push_back(SectorTie::FromSectorLink(l)->object);
    return out;
}

World* ReadWorldChunk(const std::vector<uint8_t>& bytes)
{
    MemoryBlock block{const_cast<uint8_t*>(bytes.data()), uint32_t(bytes.size())};
    Stream* in = Stream::Open(kStreamMemory, kStreamRead, &block);
    World* world = nullptr;
    if (in && Stream::FindChunk(in, 11, nullptr, nullptr))
        world = World::StreamRead(in);
    if (in)
        Stream::Close(in, nullptr);
    return world;
}
