// The engine plug-in list and the static initialiser that fills it. The plug-ins live in
// the engine's own folders, which cannot reach the framework's lists, so their attach
// functions are listed here, in the one order the engine must see them.
#include "enginepluginlist.h"

#include "animation.h"
#include "hbexitlist.h"
#include "hierarchy.h"
#include "mipmapkl.h"
#include "prtstd.h"
#include "random.h"
#include "skin.h"
#include "splinecurve.h"
#include "userdata.h"
#include "watomicowner.h"
#include "wsectorobjecttable.h"

namespace
{
HbPtrList* gList = nullptr;
bool gListMade = false;

void DestroyList()
{
    delete gList;
    gList = nullptr;
}

// One initialiser appends every entry, so their order does not depend on the order in
// which the linker lays out static initialisers.
int FillList()
{
    int filled = EnginePluginList::Add(SplineCurve::Attach);
    filled &= EnginePluginList::Add(Random::Attach);
    filled &= EnginePluginList::Add(PrtStdAttach);
    filled &= EnginePluginList::Add(SectorObjectTable::Attach);
    filled &= EnginePluginList::Add(EnginePluginList::AttachAnimationPlugins);
    filled &= EnginePluginList::Add(AtomicOwner::Attach);
    filled &= EnginePluginList::Add(UserData::Attach);
    // No attach of the plug-ins above registers the texture's mipmap-K word.
    filled &= EnginePluginList::Add(MipmapKL::Attach);
    return filled;
}

[[maybe_unused]] const int gListFilled = FillList();
} // namespace

HbPtrList* EnginePluginList::Instance()
{
    if (!gListMade)
    {
        gList = new HbPtrList(10);
        if (gList)
        {
            gListMade = true;
            HbExitList::Add(DestroyList);
        }
    }
    return gList;
}

int EnginePluginList::Add(EnginePluginAttach attach)
{
    HbPtrList* list = Instance();
    return list && list->AddTail(reinterpret_cast<void*>(attach)) ? 1 : 0;
}

int EnginePluginList::RunAll()
{
    HbPtrList* list = Instance();
    return list ? HbCallbackList::RunAll(*list) : 0;
}

int EnginePluginList::AttachAnimationPlugins()
{
    return Animation::Attach() && Hierarchy::Attach() && Skin::Attach() ? 1 : 0;
}
