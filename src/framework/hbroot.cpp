// HbRoot's root operations, class descriptors and the class-ID registry.
#include "hbroot.h"

#include "hbptr.h"
#include "hbsingleton.h"

#include "win32.h"

#include <cstdlib>

constinit const HbClassDesc HbRoot::sClassDesc{"HbRoot", nullptr};

// ---- HbRoot ------------------------------------------------------------------------

const HbClassDesc* HbRoot::GetClassDesc() const
{
    return &sClassDesc;
}

HbRoot::~HbRoot()
{
    if (mHandle != 0)
        if (HbHandlesManager* table = HbHandlesManager::Instance())
            table->Invalidate(mHandle);
}

void HbRoot::DeletingDestructor(int flags)
{
    if (flags & 1)
        delete this;
    else
        this->~HbRoot();
}

int HbRoot::CloneInto(HbRoot**)
{
    return 0;
}

int HbRoot::ReadChunks(HbMChunkStream*)
{
    return 0;
}

int HbRoot::Spare(uint32_t)
{
    return 0;
}

int HbRoot::Load(HbStream*, const char*)
{
    return 0;
}

int HbRoot::WriteChunks(HbMChunkStream*)
{
    return 0;
}

std::string HbRoot::GetTypeKey() const
{
    return std::string();
}

int HbRoot::IsShared() const
{
    return 0;
}

int32_t HbRoot::Release()
{
    if (mRefCount < kDestroying / 2) // AddRef and Release from the destructor chain move it a little
        return 0;
    if (--mRefCount > 0)
        return mRefCount;
    mRefCount = kDestroying;
    DeletingDestructor(1);
    return 0;
}

HbRoot* HbResource::KeepIfReady(HbRoot* object)
{
    if (!object || object->GetStatus() == kHbStatusReady)
        return object;
    object->DeletingDestructor(1);
    return nullptr;
}

// ---- HbClassDesc -------------------------------------------------------------------

bool HbClassDesc::IsKindOf(const HbRoot* object, const HbClassDesc* descriptor)
{
    if (!object)
        return false;
    for (const HbClassDesc* d = object->GetClassDesc(); d; d = d->mParent)
        if (d == descriptor)
            return true;
    return false;
}

HbRoot* HbClassDesc::CastTo(HbRoot* object, const HbClassDesc* descriptor)
{
    return IsKindOf(object, descriptor) ? object : nullptr;
}

// ---- HbClassIdRegistry -------------------------------------------------------------

HbClassIdRegistry* HbClassIdRegistry::Instance()
{
    return HbSingleton<HbClassIdRegistry>::Instance();
}

int HbClassIdRegistry::QueueRegistration(HbClassIdRegistration registration)
{
    HbClassIdRegistry* registry = Instance();
    if (!registry || !registry->mQueue.AddTail(reinterpret_cast<void*>(registration)))
        return 0;
    return 1;
}

void HbClassIdRegistry::Register(uint32_t id, const char* source, int)
{
    std::string existing;
    if (mIds.Lookup(id, existing))
    {
        HbFatalMessageBox("You have 2 classes with similar ID\n", "Corvane Error");
        std::exit(1);
    }
    if (std::string* name = mIds.FindOrInsert(id))
        name->assign(source ? source : "");
}

int HbFatalMessageBox(const char* text, const char* title)
{
    return MessageBoxA(nullptr, text, title, MB_SYSTEMMODAL | MB_ICONERROR);
}
