// Module initialiser table.
#include "hbmoduleinit.h"

namespace
{
// Constant-initialised, so registrations from any static initialiser are safe.
constinit HbModuleInitTable gTable;
} // namespace

int HbModuleInitTable::Register(HbModuleInitFunc create, HbModuleInitFunc check)
{
    if (mCount >= kHbMaxModuleInits)
        return 0;
    mEntries[mCount++] = {create, check};
    return mCount < kHbMaxModuleInits ? 1 : 0;
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
