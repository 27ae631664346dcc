// Helpers of the animation tests.
#include "anim_fixture.h"

namespace animtest
{

void SweepMutations(const std::vector<uint8_t>& bytes, int count, const std::function<void(std::vector<uint8_t>&)>& read)
{
    uint64_t state = 0x9E3779B97F4A7C15ull;
    auto next = [&state]()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    for (int i = 0; i < count && !bytes.empty(); ++i)
    {
        std::vector<uint8_t> copy = bytes;
        const int edits = 1 + int(next() % 4);
        for (int e = 0; e < edits && !copy.empty(); ++e)
        {
            const size_t at = size_t(next() % copy.size());
            switch (next() % 4)
            {
            case 0:
                copy[at] ^= uint8_t(1u << (next() % 8));
                break;
            case 1:
                copy[at] = uint8_t(next());
                break;
            case 2:
            {
                static const uint32_t kWords[] = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 1000000000, 0x10000};
                const uint32_t w = kWords[next() % 7];
                for (size_t b = 0; b < 4 && at + b < copy.size(); ++b)
                    copy[at + b] = uint8_t(w >> (8 * b));
                break;
            }
            default:
                copy.resize(at);
                break;
            }
        }
        read(copy);
    }
}

} // namespace animtest

#include "animation.h"
#include "device.h"
#include "engine.h"
#include "frame.h"
#include "hbclock.h"
#include "hbdatamanager.h"
#include "hierarchy.h"
#include "memory.h"
#include "rdanim.h"
#include "skin.h"
#include "stream.h"
#include "world.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace animtest
{
namespace
{
int32_t System(int32_t request, void* out, void*, int32_t)
{
    switch (request)
    {
    case kDeviceOpen:
    case kDeviceClose:
    case kDeviceStart:
    case kDeviceStop:
        return 1;
    case kDeviceRegister:
    {
        static const DeviceRecord record = {1.0f,    System,  0.0f,    1.0f,    nullptr, nullptr,
                                            nullptr, nullptr, nullptr, nullptr, {}};
        *static_cast<DeviceRecord*>(out) = record;
        return 1;
    }
    default:
        return 0;
    }
}
const DeviceRecord* Record()
{
    static const DeviceRecord record = {1.0f, System, 0.0f, 1.0f, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, {}};
    return &record;
}
int32_t AttachDriver()
{
    return 1;
}
const DeviceDriver kDriver = {AttachDriver, Record};
int32_t sWindow = 1;
} // namespace

void AnimTest::SetUp()
{
    Engine::SetDriver(&kDriver);
    ASSERT_EQ(Engine::Init(nullptr, 0, 0), 1);
    ASSERT_EQ(World::Attach(), 1);
    ASSERT_EQ(Animation::Attach(), 1);
    ASSERT_EQ(Hierarchy::Attach(), 1);
    ASSERT_EQ(Skin::Attach(), 1);
    ASSERT_EQ(Engine::Open(&sWindow), 1);
    ASSERT_EQ(Engine::Start(), 1);
    HbGameClock* clock = HbGameClock::Instance();
    clock->mGameTime = 0;
    clock->mStepSeconds = 0.0f;

    char buffer[4096];
    mPrevious = getcwd(buffer, sizeof buffer) ? buffer : ".";
    std::string pattern = (std::filesystem::temp_directory_path() / "anim_test_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    mDirectory = pattern;
    ASSERT_EQ(chdir(mDirectory.c_str()), 0);
}

void AnimTest::TearDown()
{
    if (mTop)
    {
        Hierarchy::Destroy(HierarchyFrame::GetHierarchy(mBones[0]));
        Frame::Destroy(mTop);
        mTop = nullptr;
    }
    HbDataManager::Destroy();
    RdAnimation::SetCurrent(nullptr);
    if (Engine::Current() && Engine::Current()->state == kEngineStarted)
        Engine::Stop();
    if (Engine::Current() && Engine::Current()->state == kEngineOpened)
        Engine::Close();
    Engine::Term();
    if (chdir(mPrevious.c_str()) != 0)
        ADD_FAILURE() << "cannot go back to " << mPrevious;
    std::filesystem::remove_all(mDirectory);
}

Animation* AnimTest::MakeAnimation(float duration, Vector rootMove, int nodes)
{
    std::vector<AnimationKeyRow> rows;
    for (int node = 0; node < nodes; ++node)
    {
        const Vector end = node == 0 ? rootMove : Vector{0, 0, 0};
        rows.push_back({node, 0.0f, {0, 0, 0, 1}, {0, 0, 0}});
        rows.push_back({node, duration * 0.5f, {0, 0, 0.38268343f, 0.9238795f}, {end.x * 0.5f, end.y * 0.5f, end.z * 0.5f}});
        rows.push_back({node, duration, {0, 0, 0, 1}, {end.x, end.y, end.z}});
    }
    std::vector<uint8_t> bytes = AnimationWriter::StdAnimation(rows, duration);
    MemoryBlock block = {bytes.data(), uint32_t(bytes.size())};
    Stream* stream = Stream::Open(kStreamMemory, kStreamRead, &block);
    if (!stream)
        return nullptr;
    uint32_t size = 0;
    Animation* animation = nullptr;
    if (Stream::FindChunk(stream, Animation::kChunkType, &size, nullptr))
        animation = Animation::StreamRead(stream, size);
    Stream::Close(stream, nullptr);
    return animation;
}

RdAnimation* AnimTest::MakeResource(const char* name, float duration, Vector rootMove, const char* path)
{
    auto* resource = new RdAnimation();
    Animation* animation = MakeAnimation(duration, rootMove);
    EXPECT_NE(animation, nullptr);
    EXPECT_EQ(resource->Setup(animation, name, path), 1);
    return resource;
}

Hierarchy* AnimTest::ModelHierarchy()
{
    if (mTop)
        return HierarchyFrame::GetHierarchy(mBones[0]);
    mTop = Frame::Create();
    const int32_t ids[2] = {0, 1};
    const uint32_t flags[2] = {0, kHierarchyPop};
    for (int i = 0; i < 2; ++i)
    {
        mBones[i] = Frame::Create();
        HierarchyFrame::SetAnimNodeId(mBones[i], ids[i]);
        Frame::AddChild(i == 0 ? mTop : mBones[0], mBones[i]);
    }
    Hierarchy* h = Hierarchy::Create(2, flags, ids, kHierarchyUpdateModelling, int32_t(sizeof(StdInterpFrame)));
    HierarchyFrame::SetHierarchy(mBones[0], h);
    Hierarchy::AttachFrames(h);
    return h;
}

int64_t AnimTest::Ticks(double seconds)
{
    return int64_t(seconds * double(HbPerformanceFrequency()) + 0.5);
}

int64_t AnimTest::Step(double seconds)
{
    HbGameClock* clock = HbGameClock::Instance();
    clock->mStepSeconds = float(seconds);
    clock->mStep = Ticks(seconds);
    mNow += Ticks(seconds);
    clock->mGameTime = mNow;
    return mNow;
}

void WriteText(const std::string& path, const std::string& text)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
}

} // namespace animtest
