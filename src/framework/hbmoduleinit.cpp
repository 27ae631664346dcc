// Module initialiser table.
#include "hbmoduleinit.h"

#include <atomic>

#include "hbmemory.h"

namespace
{
// Constant-initialised, so registrations from any static initialiser are safe.
constinit HbModuleInitTable gTable;

// The framework's six arenas are made by the same run as every pool.
[[maybe_unused]] const int gArenaInits = (HbRegisterArenaInits(), 1);
} // namespace

int HbModuleInitTable::Register(HbModuleInitFunc create, HbModuleInitFunc check)
{
    if (mCount >= kHbMaxModuleInits)
        return 0;
    mEntries[mCount++] = {create, check};
    return mCount < kHbMaxModuleInits ? 1 : 0;
}

int HbModuleInitTable::CountExisting() const
{
    int existing = 0;
    for (int i = 0; i < mCount; ++i)
        if (mEntries[i].check && mEntries[i].check())
            ++existing;
    return existing;
}

int HbModuleInitTable::RunAll() const
{
    for (int i = 0; i < mCount; ++i)
        if (mEntries[i].create)
            mEntries[i].create();
    return 1;
}

int HbRegisterModuleInit(HbModuleInitFunc create, HbModuleInitFunc check)
{
    return gTable.Register(create, check);
}

int HbRunModuleInits()
{
    return gTable.RunAll();
}

int HbModuleInitCount()
{
    return gTable.GetCount();
}

int HbModuleInitCountExisting()
{
    return gTable.CountExisting();
}

namespace
{
std::atomic<int> gShuttingDown{0};
}

int HbSetShuttingDown()
{
    gShuttingDown = 1;
    return 1;
}

int HbIsShuttingDown()
{
    return gShuttingDown.load();
}
