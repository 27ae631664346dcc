// Tests of the error slot: the first error is kept until read, common codes lose their
// plug-in id, and the slot moves with the engine record.
#include "engine.h"
#include "error.h"
#include "testdevice.h"

#include <gtest/gtest.h>

namespace
{

using ErrorSlot = EngineFixture;

Error Take()
{
    Error e = {-1, -1};
    EXPECT_EQ(Error::Get(&e), &e);
    return e;
}

TEST_F(ErrorSlot, KeepsTheFirstErrorUntilReadAndReadingEmptiesIt)
{
    StartEngine();
    Error first = {1, 5};
    Error later = {1, kErrStreamRead};
    EXPECT_EQ(Error::Set(&first), &first);
    Error::Set(&later);
    Error::Report(2, 7);
    Error e = Take();
    EXPECT_EQ(e.pluginId, 1);
    EXPECT_EQ(e.code, 5);
    e = Take();
    EXPECT_EQ(e.pluginId, 0);
    EXPECT_EQ(e.code, kErrNone);

    Error::Set(&later);
    e = Take();
    EXPECT_EQ(e.pluginId, 0) << "a common code is stored with plug-in id 0";
    EXPECT_EQ(e.code, kErrStreamRead);
}

TEST_F(ErrorSlot, MakeCodeDropsWhatComesWithTheCode)
{
    EXPECT_EQ(Error::MakeCode(kErrNoMemory, 512), kErrNoMemory);
    EXPECT_EQ(Error::MakeCode(kErrBadArgument, "Invalid combination type"), kErrBadArgument);
    EXPECT_EQ(Error::MakeCode(25), 25);
}

// Errors found before an instance exists are kept in the static record; the slot goes
// into the instance at Engine::Open, is emptied when the error module opens, and comes
// back to the static record at Engine::Close.
TEST_F(ErrorSlot, MovesWithTheEngineRecord)
{
    ASSERT_EQ(Engine::Init(TestMemory::Functions(), 0, 0), 1);
    EXPECT_EQ(Engine::Open(nullptr), 0);
    ASSERT_EQ(Engine::Open(&mWindow), 1);
    EXPECT_EQ(Take().code, kErrNullArgument);

    Error::Report(kCorePluginId, 5);
    ASSERT_EQ(Engine::Start(), 1);
    EXPECT_EQ(Take().code, kErrNone) << "opening the error module empties the slot";

    Error::Report(kCorePluginId, 13);
    ASSERT_EQ(Engine::Stop(), 1);
    ASSERT_EQ(Engine::Close(), 1);
    Error e = Take();
    EXPECT_EQ(e.pluginId, kCorePluginId);
    EXPECT_EQ(e.code, 13);
}

} // namespace
