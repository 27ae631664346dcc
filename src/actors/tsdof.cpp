// The degree of freedom, the group actor and the actor types of this layer.
#include "tsdof.h"

#include "hbresource.h"
#include "tsactortyperegistry.h"
#include "tsanimactor.h"
#include "tsdummyactor.h"
#include "tsmotorskills.h"
#include "w3dframe.h"

HB_DEFINE_CLASS_DESC(TsDof, TsActor);
HB_DEFINE_CLASS_DESC(TsGroupAnimActor, TsActor);

namespace
{
void Swap(TsMotorSkills*& held, TsMotorSkills* table)
{
    if (table)
        table->AddRef();
    if (held)
        held->Release();
    held = table;
}

TsMotorSkills* NewSkills(TsActor* owner)
{
    auto* skills = new TsMotorSkills(owner);
    if (skills)
        skills->AddRef();
    return skills;
}
} // namespace

TsDof::TsDof() : mSkills(NewSkills(this)) {}

TsDof::~TsDof()
{
    ExitMotorSkills();
    if (mModel)
    {
        RemoveNodeFromParent();
        mModel->Release();
    }
    Swap(mSkills, nullptr);
}

void TsDof::SetModel(W3dNode* node)
{
    if (!node || node == mModel)
        return;
    if (mModel)
    {
        RemoveNodeFromParent();
        mModel->Release();
    }
    mModel = node;
    mModel->AddRef();
}

int32_t TsDof::LoadModel(const char* name)
{
    // Held while it is handed over (SetModel takes its own reference); an object of another
    // class goes back as it came.
    HbRoot* object = nullptr;
    if (!name || !*name)
    {
        object = W3dFrame::Create();
        if (object)
            object->AddRef();
    }
    else if (HbResourceManager* resources = HbResourceManager::Instance())
    {
        object = resources->AcquireResource(name);
    }
    if (W3dNode* node = HbCastTo<W3dNode>(object))
        SetModel(node);
    if (object)
        object->Release();
    return mModel ? 1 : 0;
}

void TsDof::SetMotorSkills(TsMotorSkills* table)
{
    Swap(mSkills, table);
}

TsGroupAnimActor::TsGroupAnimActor() : mSkills(NewSkills(this)) {}

TsGroupAnimActor::~TsGroupAnimActor()
{
    ExitMotorSkills();
    Swap(mSkills, nullptr);
}

void TsGroupAnimActor::SetMotorSkills(TsMotorSkills* table)
{
    Swap(mSkills, table);
}

// ---- Actor types ------------------------------------------------------------------------------------

namespace
{
/// The gameplay layer's types take 1 to 4, so these ids are fixed whatever order the
/// static registrations run in.
struct TypeRegistration
{
    TypeRegistration() { TsRegisterActorTypes(); }
} gTypeRegistration;
} // namespace

void TsRegisterActorTypes()
{
    TsActorTypeRegistry* registry = TsActorTypeRegistry::Instance();
    if (!registry)
        return;
    TsRegisterActorType<TsDummyActor>(registry, "TsDummyActor", 5);
    TsRegisterActorType<TsAnimActor>(registry, "TsAnimActor", 6);
    TsRegisterActorType<TsDof>(registry, "TsDof", 7);
    TsRegisterActorType<TsGroupAnimActor>(registry, "TsGroupAnimActor", 8);
}
