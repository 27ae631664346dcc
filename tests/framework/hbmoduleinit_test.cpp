// Tests of the module-initialiser table: its capacity, the run order and the
// program's table making every pool and arena that static construction registered.
#include "hbmemory.h"
#include "hbmoduleinit.h"
#include "hbperclassfreelist.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace
{

std::vector<int> gRuns;
int gChecks = 0;

template <int N> int Create()
{
    gRuns.push_back(N);
    return N % 2; // results are ignored
}

int Check()
{
    ++gChecks;
    return 1;
}

template <int... N> void RegisterAll(HbModuleInitTable& table, std::vector<int>& results)
{
    (results.push_back(table.Register(&Create<N>, &Check)), ...);
}

template <int... N>
void RegisterSequence(HbModuleInitTable& table, std::vector<int>& results, std::integer_sequence<int, N...>)
{
    RegisterAll<N...>(table, results);
}

TEST(HbModuleInitTable, The110thFillsTheTableAndThe111thIsRefused)
{
    HbModuleInitTable table;
    std::vector<int> results;
    RegisterSequence(table, results, std::make_integer_sequence<int, 111>());
    ASSERT_EQ(results.size(), 111u);
    for (int i = 0; i < 109; ++i)
        ASSERT_EQ(results[i], 1) << "registration " << i + 1;
    EXPECT_EQ(results[109], 0); // stored, but the table is now full
    EXPECT_EQ(results[110], 0); // refused
    EXPECT_EQ(table.GetCount(), 110);

    gRuns.clear();
    gChecks = 0;
    EXPECT_EQ(table.RunAll(), 1);
    ASSERT_EQ(gRuns.size(), 110u); // the 111th was never stored
    for (int i = 0; i < 110; ++i)
        EXPECT_EQ(gRuns[i], i); // registration order
    EXPECT_EQ(gChecks, 0);
}

TEST(HbModuleInitTable, AnEmptyTableRunsNothingAndSucceeds)
{
    HbModuleInitTable table;
    gRuns.clear();
    EXPECT_EQ(table.RunAll(), 1);
    EXPECT_TRUE(gRuns.empty());
}

// A pool that only module initialisers make in this program.
struct ModuleInitProbe
{
    HB_DECLARE_CLASS_POOL();
    int value;
};
HB_DEFINE_CLASS_POOL(ModuleInitProbe, "ModuleInitProbe", 4);

TEST(HbModuleInits, AfterTheRunEveryRegisteredPoolAndArenaExists)
{
    constexpr HbArenaKind kArenas[] = {HbArenaKind::SmallObject, HbArenaKind::Script,     HbArenaKind::Engine,
                                       HbArenaKind::ArrayPool,   HbArenaKind::BucketPool, HbArenaKind::NodeBlock};
    EXPECT_EQ(ModuleInitProbe::sClassPool.Exists(), 0);
    EXPECT_EQ(HbRunModuleInits(), 1);

    EXPECT_EQ(HbModuleInitCountExisting(), HbModuleInitCount()) << "a registered module is missing after the run";
    for (HbArenaKind kind : kArenas)
        EXPECT_EQ(HbArenaExists(kind), 1) << "arena " << static_cast<int>(kind);
    EXPECT_EQ(ModuleInitProbe::sClassPool.Exists(), 1);
    HbPerClassFreeList* pool = ModuleInitProbe::sClassPool.Get();
    ASSERT_NE(pool, nullptr);
    EXPECT_EQ(pool->GetCapacity(), 4);
    // Running again leaves existing pools as they are.
    EXPECT_EQ(HbRunModuleInits(), 1);
    EXPECT_EQ(ModuleInitProbe::sClassPool.Get(), pool);
}

} // namespace
