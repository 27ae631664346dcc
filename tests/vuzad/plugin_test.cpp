// Tests of plug-in registries: offsets and sizes, refusals, the order of constructors,
// destructors and copies, extension chunks, rights, and the engine's own registry of
// module blocks.
#include "chunk.h"
#include "engine.h"
#include "error.h"
#include "frame.h"
#include "plugin.h"
#include "sparemodule.h"
#include "stream.h"
#include "streamfixture.h"
#include "testdevice.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

int32_t TakeError()
{
    Error e;
    Error::Get(&e);
    return e.code;
}

std::vector<std::string> sLog;
int32_t sFailing = 0; // the plug-in id whose constructor or callback fails

template <int32_t Id> void* Construct(void* object, int32_t, int32_t)
{
    sLog.push_back("ctor " + std::to_string(Id));
    return Id == sFailing ? nullptr : object;
}
template <int32_t Id> void* Destruct(void* object, int32_t, int32_t)
{
    sLog.push_back("dtor " + std::to_string(Id));
    return object;
}
template <int32_t Id> void* Copy(void* destination, const void*, int32_t, int32_t)
{
    sLog.push_back("copy " + std::to_string(Id));
    return destination;
}
template <int32_t Id> void* Always(void* object, int32_t, int32_t)
{
    sLog.push_back("always " + std::to_string(Id));
    return Id == sFailing ? nullptr : object;
}
int32_t Rights(void*, int32_t, int32_t, uint32_t extra)
{
    return extra == 7;
}

class Plugins : public EngineFixture
{
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        sLog.clear();
        sFailing = 0;
        ASSERT_NE(Engine::Init(TestMemory::Functions(), 0, 0), 0);
    }
    // Registries outlive the test body: the engine's Term walks them.
    PluginRegistry mRegistry = PluginRegistry::Initial(52);
    PluginRegistry mLimited = PluginRegistry::Initial(16, 32);
};

// The 8-byte equivalent of sizes 5, 8 and 1 on a base of 52 giving 52, 60, 68 and 72:
// offsets start at the base rounded up and every size is rounded to 8.
TEST_F(Plugins, OffsetsAndSizeRoundTo8TheEquivalentOf52_60_68_72)
{
    EXPECT_EQ(PluginRegistry::Register(&mRegistry, 5, 1, nullptr, nullptr, nullptr), 56);
    EXPECT_EQ(PluginRegistry::Register(&mRegistry, 8, 2, nullptr, nullptr, nullptr), 64);
    EXPECT_EQ(PluginRegistry::Register(&mRegistry, 1, 3, nullptr, nullptr, nullptr), 72);
    EXPECT_EQ(mRegistry.size, 80);
    EXPECT_EQ(PluginRegistry::GetPluginOffset(&mRegistry, 2), 64);
    EXPECT_EQ(PluginRegistry::GetPluginOffset(&mRegistry, 4), -1);
    EXPECT_EQ(TakeError(), kErrNone);

    // A known id answers its offset, records 0x80000017 and changes nothing.
    EXPECT_EQ(PluginRegistry::Register(&mRegistry, 100, 2, nullptr, nullptr, nullptr), 64);
    EXPECT_EQ(TakeError(), kErrPluginRefused);
    EXPECT_EQ(PluginRegistry::Register(&mRegistry, 100, 2, nullptr, nullptr, nullptr), 64);
    EXPECT_EQ(TakeError(), kErrPluginRefused);
    EXPECT_EQ(mRegistry.size, 80);

    // Setters need a registered id.
    EXPECT_EQ(PluginRegistry::SetAlwaysCallback(&mRegistry, 3, Always<3>), 72);
    EXPECT_EQ(PluginRegistry::SetAlwaysCallback(&mRegistry, 9, Always<9>), -1);
    EXPECT_EQ(PluginRegistry::SetStreamCallbacks(&mRegistry, 9, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(PluginRegistry::SetRightsCallback(&mRegistry, 9, Rights), -1);
    EXPECT_EQ(TakeError(), kErrNone);
}

TEST_F(Plugins, RegistrationIsRefusedOverTheMaximumWhileOpenAndOutsideTheModule)
{
    PluginRegistry& limited = mLimited;
    EXPECT_EQ(PluginRegistry::Register(&limited, 16, 1, nullptr, nullptr, nullptr), 16);
    EXPECT_EQ(PluginRegistry::Register(&limited, 1, 2, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(PluginRegistry::Register(&mRegistry, -1, 3, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(TakeError(), kErrNone) << "nothing recorded";

    ASSERT_EQ(Engine::Open(&mWindow), 1);
    EXPECT_EQ(PluginRegistry::Register(&mRegistry, 4, 4, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(TakeError(), kErrPluginRefused);
    ASSERT_EQ(Engine::Close(), 1);
    EXPECT_EQ(PluginRegistry::Register(&mRegistry, 4, 4, nullptr, nullptr, nullptr), 56);

    // Term resets every registry that has entries; before Init nothing registers.
    ASSERT_EQ(Engine::Term(), 1);
    EXPECT_EQ(mRegistry.size, 52);
    EXPECT_EQ(mRegistry.first, nullptr);
    EXPECT_EQ(limited.size, 16);
    EXPECT_EQ(PluginRegistry::Register(&mRegistry, 4, 5, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(TakeError(), kErrNone);
}

TEST_F(Plugins, AFailingConstructorUnwindsOnlyTheEarlierPlugins)
{
    PluginRegistry::Register(&mRegistry, 4, 1, Construct<1>, Destruct<1>, Copy<1>);
    PluginRegistry::Register(&mRegistry, 4, 2, Construct<2>, Destruct<2>, Copy<2>);
    PluginRegistry::Register(&mRegistry, 4, 3, Construct<3>, Destruct<3>, Copy<3>);
    PluginRegistry::Register(&mRegistry, 4, 4, nullptr, nullptr, nullptr); // does nothing, succeeds
    std::vector<char> a(size_t(mRegistry.size)), b(size_t(mRegistry.size));

    EXPECT_EQ(PluginRegistry::InitObject(&mRegistry, a.data()), &mRegistry);
    EXPECT_EQ(PluginRegistry::CopyObject(&mRegistry, b.data(), a.data()), &mRegistry);
    EXPECT_EQ(PluginRegistry::DeinitObject(&mRegistry, a.data()), &mRegistry);
    EXPECT_EQ(sLog, (std::vector<std::string>{"ctor 1", "ctor 2", "ctor 3", "copy 1", "copy 2", "copy 3", "dtor 3",
                                              "dtor 2", "dtor 1"}));

    sLog.clear();
    sFailing = 2;
    EXPECT_EQ(PluginRegistry::InitObject(&mRegistry, a.data()), nullptr);
    EXPECT_EQ(sLog, (std::vector<std::string>{"ctor 1", "ctor 2", "dtor 1"}));
}

// With free lists off every entry is its own allocation; closing must still free them.
TEST_F(Plugins, EntriesAreFreedWithoutFreeLists)
{
    ASSERT_EQ(Engine::Term(), 1);
    ASSERT_NE(Engine::Init(TestMemory::Functions(), kEngineNoFreeLists, 0), 0);
    size_t before = TestMemory::live.size();
    for (int32_t id = 1; id <= 5; ++id)
        PluginRegistry::Register(&mRegistry, 8, id, nullptr, nullptr, nullptr);
    EXPECT_EQ(TestMemory::live.size(), before + 5);
    ASSERT_EQ(Engine::Term(), 1);
    EXPECT_TRUE(TestMemory::live.empty());
}

TEST_F(Plugins, RightsCallbacksAnswerTheRegistryOrZero)
{
    PluginRegistry::Register(&mRegistry, 4, 1, nullptr, nullptr, nullptr);
    PluginRegistry::Register(&mRegistry, 4, 2, nullptr, nullptr, nullptr);
    PluginRegistry::SetRightsCallback(&mRegistry, 1, Rights);
    char object[64];
    EXPECT_EQ(PluginRegistry::CallRightsCallback(&mRegistry, 1, object, 7), &mRegistry);
    EXPECT_EQ(PluginRegistry::CallRightsCallback(&mRegistry, 1, object, 8), nullptr);
    EXPECT_EQ(PluginRegistry::CallRightsCallback(&mRegistry, 2, object, 7), nullptr) << "no callback";
    EXPECT_EQ(PluginRegistry::CallRightsCallback(&mRegistry, 3, object, 7), nullptr) << "not registered";
}

// The engine instance is an extensible object: its modules are plug-ins of its registry,
// opened by the registry's constructors in this order.
TEST_F(Plugins, EngineModulesArePluginsOfTheEngineRegistryInOrder)
{
    std::vector<int32_t> ids;
    for (PluginEntry* e = Engine::Registry()->first; e; e = e->next)
        ids.push_back(e->pluginId);
    EXPECT_EQ(ids, (std::vector<int32_t>{0x40F, 0x401, 0x40D, 0x402, 0x403, 0x404, 0x405, 0x406, 0x407, 0x408, 0x409,
                                         0x412, 0x40A, 0x40B}));
    EXPECT_EQ(Engine::GetInstanceSize(), Engine::Registry()->size);

    ASSERT_EQ(Engine::Open(&mWindow), 1);
    ASSERT_EQ(Engine::Start(), 1);
    EXPECT_EQ(SpareModule::GetCounterOpenCount(), 1);
    EXPECT_EQ(SpareModule::GetListOpenCount(), 1);
    ASSERT_EQ(Engine::Stop(), 1);
    EXPECT_EQ(SpareModule::GetCounterOpenCount(), 0);
    EXPECT_EQ(SpareModule::GetListOpenCount(), 0);
}

// ---- Extension chunks -------------------------------------------------------------------------

int32_t FourBytes(const void*, int32_t, int32_t)
{
    return 4;
}
Stream* WriteTag(Stream* stream, int32_t length, const void*, int32_t, int32_t)
{
    return Stream::Write(stream, "TAG!", uint32_t(length));
}

class ExtensionChunks : public StreamFixture
{
protected:
    PluginRegistry mRegistry = PluginRegistry::Initial(16);
    PluginRegistry mEmpty = PluginRegistry::Initial(16);
};

TEST_F(ExtensionChunks, WritingSkipsPluginsWithNothingToWrite)
{
    PluginRegistry& registry = mRegistry;
    ASSERT_EQ(Engine::Stop(), 1);
    ASSERT_EQ(Engine::Close(), 1);
    PluginRegistry::Register(&registry, 4, 0x51, nullptr, nullptr, nullptr);
    PluginRegistry::Register(&registry, 4, 0x52, nullptr, nullptr, nullptr);
    PluginRegistry::Register(&registry, 4, 0x53, nullptr, nullptr, nullptr);
    PluginRegistry::SetStreamCallbacks(&registry, 0x52, nullptr, WriteTag, FourBytes);
    PluginRegistry::SetStreamCallbacks(&registry, 0x53, nullptr, nullptr, FourBytes); // no writer
    ASSERT_EQ(Engine::Open(&mWindow), 1);
    ASSERT_EQ(Engine::Start(), 1);

    char object[32] = {};
    // Size counts every positive size; only plug-ins with a writer write.
    EXPECT_EQ(PluginRegistry::GetExtensionSize(&registry, object), 2 * (4 + 12));
    Stream* w = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
    ASSERT_EQ(PluginRegistry::WriteExtensionChunk(&registry, w, object), &registry);
    ChunkBuilder expected;
    expected.Header(kChunkExtension, 32).Header(0x52, 4).Raw("TAG!");
    EXPECT_EQ(CloseWriter(w), expected.bytes);

    // An object without data to write has an empty, 12-byte extension chunk.
    PluginRegistry& empty = mEmpty;
    w = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
    ASSERT_EQ(PluginRegistry::WriteExtensionChunk(&empty, w, object), &empty);
    EXPECT_EQ(CloseWriter(w).size(), 12u);
}

TEST_F(ExtensionChunks, AlwaysCallbacksRunForEveryObjectReadAndTheirFailureFails)
{
    PluginRegistry& registry = mRegistry;
    ASSERT_EQ(Engine::Stop(), 1);
    ASSERT_EQ(Engine::Close(), 1);
    PluginRegistry::Register(&registry, 4, 0x61, nullptr, nullptr, nullptr);
    PluginRegistry::Register(&registry, 4, 0x62, nullptr, nullptr, nullptr);
    PluginRegistry::SetAlwaysCallback(&registry, 0x61, Always<0x61>);
    PluginRegistry::SetAlwaysCallback(&registry, 0x62, Always<0x62>);
    ASSERT_EQ(Engine::Open(&mWindow), 1);
    ASSERT_EQ(Engine::Start(), 1);

    // Two objects: one with data of a plug-in this type does not have, one empty.
    ChunkBuilder b;
    b.Header(kChunkExtension, 12 + 5).Header(0x9999, 5).Raw("lost!").Header(kChunkExtension, 0);
    b.Header(kChunkExtension, 0);
    char object[32] = {};
    Stream* s = OpenReader(b.bytes);
    sLog.clear();
    EXPECT_EQ(PluginRegistry::ReadExtensionChunk(&registry, s, object), &registry);
    EXPECT_EQ(PluginRegistry::ReadExtensionChunk(&registry, s, object), &registry);
    EXPECT_EQ(sLog, (std::vector<std::string>{"always 97", "always 98", "always 97", "always 98"}));

    sLog.clear();
    sFailing = 0x61;
    EXPECT_EQ(PluginRegistry::ReadExtensionChunk(&registry, s, object), nullptr);
    EXPECT_EQ(sLog, (std::vector<std::string>{"always 97"}));
    Stream::Close(s, nullptr);
}

Stream* SkipLength(Stream* stream, int32_t length, void*, int32_t, int32_t)
{
    return Stream::Skip(stream, uint32_t(length));
}

// A sub-chunk's length is checked against what is left of its chunk, whether its plug-in
// would trust it or it is skipped as unknown: the read never runs on into what follows,
// from memory or through callbacks (which take a small chunk's body in one read).
TEST_F(ExtensionChunks, ASubChunkLongerThanWhatRemainsFailsTheRead)
{
    ASSERT_EQ(Engine::Stop(), 1);
    ASSERT_EQ(Engine::Close(), 1);
    PluginRegistry::Register(&mRegistry, 4, 0x71, nullptr, nullptr, nullptr);
    PluginRegistry::SetStreamCallbacks(&mRegistry, 0x71, SkipLength, nullptr, nullptr);
    ASSERT_EQ(Engine::Open(&mWindow), 1);
    ASSERT_EQ(Engine::Start(), 1);

    struct Case
    {
        const char* name;
        ChunkBuilder extension;
    } cases[] = {
        {"known plug-in", ChunkBuilder().Header(kChunkExtension, 16).Header(0x71, 20).Raw("abcd")},
        {"unknown plug-in", ChunkBuilder().Header(kChunkExtension, 16).Header(0x9999, 20).Raw("abcd")},
        {"no room for a header", ChunkBuilder().Header(kChunkExtension, 5).Raw("abcde")},
    };
    for (Case& c : cases)
        for (bool custom : {false, true})
        {
            SCOPED_TRACE(std::string(c.name) + (custom ? ", callbacks" : ", memory"));
            std::vector<uint8_t> bytes = c.extension.bytes;
            size_t end = bytes.size();
            ChunkBuilder next;
            next.Header(kChunkStruct, 20).Raw(std::string(20, 'n'));
            bytes.insert(bytes.end(), next.bytes.begin(), next.bytes.end());
            ByteStore store;
            store.bytes = bytes;
            StreamCallbacks callbacks = store.Callbacks();
            Stream* s = custom ? Stream::Open(kStreamCustom, kStreamRead, &callbacks) : OpenReader(bytes);
            char object[32] = {};
            EXPECT_EQ(PluginRegistry::ReadExtensionChunk(&mRegistry, s, object), nullptr);
            EXPECT_EQ(TakeError(), kErrStreamRead);
            EXPECT_LE(custom ? store.position : s->memory.position, end);
            Stream::Close(s, nullptr);
        }
}

Stream* ReadTag(Stream* stream, int32_t length, void* object, int32_t offset, int32_t)
{
    return length == 4 ? Stream::ReadWords(stream, static_cast<char*>(object) + offset, 4) : nullptr;
}

// Through callbacks an extension chunk takes exactly its own bytes, whether its body is
// small (one read) or large (sub-chunk by sub-chunk); a body cut short fails the read.
TEST_F(ExtensionChunks, CallbackStreamsTakeExactlyTheChunkAndRefuseACutBody)
{
    ASSERT_EQ(Engine::Stop(), 1);
    ASSERT_EQ(Engine::Close(), 1);
    int32_t offset = PluginRegistry::Register(&mRegistry, 4, 0x81, nullptr, nullptr, nullptr);
    PluginRegistry::SetStreamCallbacks(&mRegistry, 0x81, ReadTag, nullptr, nullptr);
    ASSERT_EQ(Engine::Open(&mWindow), 1);
    ASSERT_EQ(Engine::Start(), 1);
    ASSERT_GE(offset, 0);

    const std::string filler(300, 'f');
    struct Case
    {
        const char* name;
        ChunkBuilder extension;
        bool ok;
    } cases[] = {
        {"small body",
         ChunkBuilder().Header(kChunkExtension, 16 + 16).Header(0x9999, 4).Raw("skip").Header(0x81, 4).Raw("TAG!"),
         true},
        {"large body",
         ChunkBuilder().Header(kChunkExtension, 312 + 16).Header(0x9999, 300).Raw(filler).Header(0x81, 4).Raw("TAG!"),
         true},
        {"small body cut short",
         ChunkBuilder().Header(kChunkExtension, 16 + 16).Header(0x9999, 4).Raw("skip").Header(0x81, 4).Raw("TA"),
         false},
    };
    for (Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ByteStore store;
        store.bytes = c.extension.bytes;
        const size_t end = store.bytes.size();
        if (c.ok)
            store.bytes.insert(store.bytes.end(), {'n', 'e', 'x', 't'});
        StreamCallbacks callbacks = store.Callbacks();
        Stream* s = Stream::Open(kStreamCustom, kStreamRead, &callbacks);
        char object[32] = {};
        EXPECT_EQ(PluginRegistry::ReadExtensionChunk(&mRegistry, s, object) != nullptr, c.ok);
        if (c.ok)
        {
            EXPECT_EQ(std::string(object + offset, 4), "TAG!");
            EXPECT_EQ(store.position, end) << "nothing of what follows is taken";
        }
        else
            EXPECT_EQ(TakeError(), kErrStreamRead);
        Stream::Close(s, nullptr);
    }
}

TEST_F(ExtensionChunks, SkippingKeepsTheStreamInStepWithoutCallingPlugins)
{
    ChunkBuilder b;
    b.Header(kChunkStruct, 2).Raw("..").Header(kChunkExtension, 12 + 8).Header(kPairPlugin, 8).U32(1).U32(2);
    b.Raw("next");
    Stream* s = OpenReader(b.bytes);
    EXPECT_EQ(PluginRegistry::SkipExtensionChunk(Sample::Registry(), s), Sample::Registry());
    char next[4];
    EXPECT_EQ(Stream::Read(s, next, 4), 4u);
    EXPECT_EQ(std::string(next, 4), "next");
    Stream::Close(s, nullptr);
}

} // namespace
