// The scenario commands on actors: their creation by type, paths and behaviours, animations,
// taking them out of the level and back, marks, enemies, the hero's lists and the objects
// hung on bones.
#include "frame.h"
#include "gameprofile.h"
#include "hbptr.h"
#include "hbresource.h"
#include "mobiledof.h"
#include "rdanimrequest.h"
#include "rdnameidtable.h"
#include "scenario_local.h"
#include "scenariocommands.h"
#include "scenariocommands_local.h"
#include "scenarioslots.h"
#include "scriptvertex.h"
#include "sectordatamanager.h"
#include "tsactorlayer.h"
#include "tsheroactor.h"
#include "tsinventory.h"
#include "tsmarksystem.h"
#include "tsscriptbinding.h"
#include "w3danimobject.h"
#include "w3dframe.h"
#include "yoscenaricmark.h"

#include <vector>

namespace
{
struct CarriedObject
{
    HbHandlePtr hero;
    HbHandlePtr node;
    int32_t bone = -1;
};

CarriedObject& Carried()
{
    static auto* carried = new CarriedObject();
    return *carried;
}

void AddToLevel(W3dNode* node)
{
    W3dFrame* root = scmd::LevelRoot();
    if (node && root && node->GetParent() != root && node != root)
        root->AttachChild(node);
}

void RemoveFromLevel(W3dNode* node)
{
    W3dFrame* root = scmd::LevelRoot();
    if (node && root && node->GetParent() == root)
        root->RemoveChild(node);
}

YoScenaricMark* FindMark(const std::string& name)
{
    TsMarkSystem* marks = TsGetMarkSystem();
    return marks ? marks->FindMark(name.c_str()) : nullptr;
}

int CallWithTwoStrings(const HbCommandArgs& args, int32_t count, const char* method, const char* a, const char* b)
{
    if (args.GetCount() != count || scmd::Int(args, 1) != 0)
        return 1;
    const int32_t slot = scmd::Slot(args, 2);
    if (slot < 0)
        return 0;
    if (TsActor* actor = ScenarioActorSlots::GetAs<TsActor>(slot))
    {
        PyObject* argument = Py_BuildValue("(ss)", a, b);
        if (argument)
            TsActorCallScriptMethod(actor, method, argument);
        Py_XDECREF(argument);
        PyErr_Clear();
    }
    return 1;
}

/// Bonus, Door, MobileDof, Gard and ExplosiveObject. failure is what a refused line answers.
int CreateActor(const HbCommandArgs& args, const char* className, const char* package, int failure)
{
    using namespace scmd;
    const int32_t form = Int(args, 1);
    if (args.GetCount() < 11 || (form != 1 && form != 2))
        return failure;
    const int32_t slot = Slot(args, 2);
    if (slot < 0)
        return failure;
    const std::string& name = Text(args, 3);
    TsActor* actor = ScenarioActorSlots::GetAs<TsActor>(slot);
    if (!actor)
    {
        const std::string data = std::string(package) + "." + Text(args, 11);
        const char* cls = form == 2 ? Text(args, 13).c_str() : className;
        if (TsCreateScriptObject(cls, name.c_str(), data.c_str()) != 0)
            return failure;
        actor = TsFindActorByName(name.c_str());
        if (!actor)
            return failure;
        HbHandlePtr alive(actor);
        GameProfile* profile = Profile();
        SectorDataManager* sectors = SectorDataManager::Existing();
        const bool stored = profile && sectors && sectors->HasSector(profile->sectorId.c_str());
        if (!stored)
        {
            PyObject* argument = PyUnicode_FromString(Text(args, 10).c_str());
            const int32_t result = argument ? TsActorCallScriptMethod(actor, "main", argument) : 4;
            Py_XDECREF(argument);
            PyErr_Clear();
            if (result != 0 || !alive.IsValid())
                return failure;
        }
        actor->mScenarioSlot = slot;
    }
    ScenarioActorSlots::Set(slot, actor);
    actor->mMustBeUpdated = Int(args, 12);
    W3dNode* node = actor->GetNode();
    if (actor->mMustBeUpdated)
        AddToLevel(node);
    else
        RemoveFromLevel(node);
    const Vector position = Vec(args, 4);
    const Vector direction = Vec(args, 7);
    ScenarioActorSlots::SetPosition(slot, position);
    ScenarioActorSlots::SetDirection(slot, direction);
    if (node)
    {
        node->SetWorldPosition(&position);
        node->LookAlong(&direction);
    }
    return 1;
}

void TakeOut(int32_t slot)
{
    TsActor* actor = ScenarioActorSlots::GetAs<TsActor>(slot);
    if (!actor || !actor->mMustBeUpdated)
        return;
    if (W3dNode* node = actor->GetNode())
    {
        ScenarioActorSlots::SetPosition(slot, *node->GetWorldPosition());
        ScenarioActorSlots::SetDirection(slot, *node->GetWorldAt());
        actor->mMustBeUpdated = 0;
        RemoveFromLevel(node);
    }
    else
        actor->mMustBeUpdated = 0;
}

void PutBack(int32_t slot)
{
    TsActor* actor = ScenarioActorSlots::GetAs<TsActor>(slot);
    if (!actor || actor->mMustBeUpdated)
        return;
    actor->mMustBeUpdated = 1;
    W3dNode* node = actor->GetNode();
    const Vector* position = ScenarioActorSlots::GetPosition(slot);
    const Vector* direction = ScenarioActorSlots::GetDirection(slot);
    if (!node || !position || !direction)
        return;
    AddToLevel(node);
    node->SetWorldPosition(position);
    node->LookAlong(direction);
}

/// The bone of the hero (mode 0) or of the slot's actor (mode 1) the node goes on.
void HangOnBone(W3dNode* node, int32_t mode, int32_t holderSlot, const std::string& heroBone,
                const std::string& actorBone)
{
    TsActor* holder = nullptr;
    const std::string* bone = nullptr;
    if (mode == 0)
    {
        holder = scmd::Hero();
        bone = &heroBone;
    }
    else if (mode == 1)
    {
        holder = ScenarioActorSlots::GetAs<TsActor>(holderSlot);
        bone = &actorBone;
    }
    else
        return;
    NameIdTable* bones = NameIdTable::Bones();
    const int32_t boneId = bones ? bones->FindIdByName(bone->c_str()) : 0;
    if (mode == 0 && holder && boneId == kScenarioCarriedObjectBone)
    {
        Carried().hero.Assign(holder);
        Carried().node.Assign(node);
        Carried().bone = boneId;
    }
    if (Frame* frame = node->GetEngineFrame())
        Frame::SetIdentity(frame);
    auto* model = holder ? HbCastTo<W3dAnimObject>(holder->GetNode()) : nullptr;
    if (!model)
        return;
    node->SetFlags(node->GetFlags() | W3dNode::kVisible);
    model->AttachNode(node, boneId);
}
} // namespace

ScenarioHeroHooks& ScenarioGetHeroHooks()
{
    static ScenarioHeroHooks hooks;
    return hooks;
}

int32_t ScenarioGetCarriedBone(TsActor* hero)
{
    CarriedObject& carried = Carried();
    if (!hero || !carried.hero.IsValid() || carried.hero.GetObject() != hero || !carried.node.IsValid())
        return -1;
    return carried.bone;
}

W3dNode* ScenarioGetCarriedNode(TsActor* hero)
{
    return ScenarioGetCarriedBone(hero) < 0 ? nullptr : static_cast<W3dNode*>(Carried().node.GetObject());
}

void ScenarioForgetCarriedObject()
{
    Carried().hero.Reset();
    Carried().node.Reset();
    Carried().bone = -1;
}

namespace scmd
{
int SetActorPath(const HbCommandArgs& args)
{
    return CallWithTwoStrings(args, 4, "setActorPathFromScenaric", Text(args, 3).c_str(), "");
}

int SetActorRestrictionPath(const HbCommandArgs& args)
{
    return CallWithTwoStrings(args, 4, "setActorPathFromScenaric", "", Text(args, 3).c_str());
}

int SetActorBhvScenaricCallBack(const HbCommandArgs& args)
{
    return CallWithTwoStrings(args, 5, "addWantedBhvCallBackFromScenaric", Text(args, 3).c_str(),
                              Text(args, 4).c_str());
}

int PlayAnim(const HbCommandArgs& args)
{
    if (args.GetCount() < 10 || Int(args, 1) != 1)
        return 1;
    const int32_t slot = Slot(args, 4);
    if (slot < 0)
        return 0;
    if (TsActor* actor = ScenarioActorSlots::GetAs<TsActor>(slot))
    {
        const float blend = Real(args, 6);
        AnimRequestPlay(actor, Text(args, 5).c_str(), Int(args, 2), Int(args, 3) == 0 ? 16u : 0u, blend, blend,
                        Real(args, 7) / 100.0f, Real(args, 8) / 100.0f, Real(args, 9));
    }
    return 1;
}

int Bonus(const HbCommandArgs& args)
{
    return CreateActor(args, "ClassBonusObject", "Actors.Object.Bonus", 0);
}

int Door(const HbCommandArgs& args)
{
    return CreateActor(args, "ClassDoor", "Actors.Object.Door", 0);
}

int MobileDof(const HbCommandArgs& args)
{
    CreateActor(args, "ClassMobileDof", "Actors.Object.MobileDof", 1);
    // The door starts from where the line put it.
    const int32_t slot = args.GetCount() > 2 ? Slot(args, 2) : -1;
    auto* dof = slot >= 0 ? HbCastTo<::MobileDof>(ScenarioActorSlots::GetAs<TsActor>(slot)) : nullptr;
    W3dNode* node = dof ? dof->GetNode() : nullptr;
    if (Frame* frame = node ? node->GetEngineFrame() : nullptr)
    {
        dof->ReadEndFrames();
        dof->mRest = frame->modelling;
        dof->ComputeTravel();
    }
    return 1;
}

int Gard(const HbCommandArgs& args)
{
    return CreateActor(args, "ClassGardWithGraph", "Actors.characters", 0);
}

int ExplosiveObject(const HbCommandArgs& args)
{
    return CreateActor(args, "ClassExplosiveObject", "Actors.Object.explosive", 0);
}

int SetActorState(const HbCommandArgs& args)
{
    const int32_t count = args.GetCount();
    if (count < 2 || Int(args, 1) != 0)
        return 1;
    const int32_t mode = Int(args, 2);
    std::vector<int32_t> slots;
    if (mode == 1 || mode == 2)
        slots.push_back(Int(args, 3));
    else if (mode == 3 || mode == 4)
    {
        // The listed slots, never beyond the tokens the line holds.
        const int32_t listed = Int(args, 3);
        if (listed < 0 || 4 + listed > count)
            return 0;
        for (int32_t i = 0; i < listed; ++i)
            slots.push_back(Int(args, 4 + i));
    }
    else
        return 1;
    for (int32_t slot : slots)
        if (!ScenarioActorSlots::IsIndex(slot))
            return 0;
    for (int32_t slot : slots)
    {
        if (mode == 1 || mode == 3)
            TakeOut(slot);
        else
            PutBack(slot);
    }
    return 1;
}

int SetActorPosition(const HbCommandArgs& args)
{
    if (args.GetCount() != 4 || Int(args, 1) != 0)
        return 1;
    const int32_t slot = Slot(args, 2);
    if (slot < 0)
        return 0;
    TsActor* actor = ScenarioActorSlots::GetAs<TsActor>(slot);
    W3dNode* node = actor ? actor->GetNode() : nullptr;
    YoScenaricMark* mark = FindMark(Text(args, 3));
    if (node && mark)
    {
        node->SetWorldPosition(&mark->mMatrix.pos);
        node->LookAlong(&mark->mMatrix.at);
    }
    return 1;
}

int SetEnemy(const HbCommandArgs& args)
{
    if (args.GetCount() == 3 || Int(args, 1) != 0)
        return 1;
    const int32_t a = Slot(args, 2);
    const int32_t b = Slot(args, 3);
    if (a < 0 || b < 0)
        return 0;
    TsActor* actor = ScenarioActorSlots::GetAs<TsActor>(a);
    TsActor* enemy = ScenarioActorSlots::GetAs<TsActor>(b);
    if (!actor || !enemy || !enemy->GetScriptObject())
        return 1;
    PyObject* argument = Py_BuildValue("(O)", enemy->GetScriptObject());
    const int32_t result = argument ? TsActorCallScriptMethod(actor, "setEnemy", argument) : 4;
    Py_XDECREF(argument);
    PyErr_Clear();
    return result == 0 ? 1 : 0;
}

int SetPhysicalInventoryAction(const HbCommandArgs& args)
{
    if (args.GetCount() < 2)
        return 1;
    const int32_t mode = Int(args, 2);
    const std::string& item = Text(args, 3);
    TsHeroActor* hero = Hero();
    const ScenarioHeroHooks& hooks = ScenarioGetHeroHooks();
    TsInventory* inventory = hero && hooks.inventory ? hooks.inventory(hero) : nullptr;
    TsInventory* equipment = hero && hooks.equipment ? hooks.equipment(hero) : nullptr;
    if (mode == 0)
    {
        if (inventory && inventory->Contains(item.c_str()))
            inventory->RemoveItem(item.c_str());
        else if (equipment)
            equipment->RemoveItem(item.c_str());
        return 1;
    }
    if (mode == 1)
    {
        if (Int(args, 1) != 0)
            LogText(Text(args, 5).c_str());
        return 1;
    }
    if (mode != 2)
        return 1;
    // Dropping an object at a mark.
    if (!hero)
        return 0;
    TsInventory* list = inventory && inventory->Contains(item.c_str()) ? inventory : nullptr;
    if (!list)
    {
        if (!equipment || !equipment->Contains(item.c_str()))
            return 0;
        list = equipment;
        const char* inHand = hooks.itemInHand ? hooks.itemInHand(hero) : nullptr;
        if (inHand && item == inHand && hooks.previousWeaponInHand)
            hooks.previousWeaponInHand(hero);
    }
    TsActor* dropped = list->RemoveByName(item.c_str());
    YoScenaricMark* mark = FindMark(Text(args, 4));
    if (!dropped || !mark)
        return 1;
    if (!TsActorIsScriptStored(dropped))
        return 0;
    PyObject* position = ScriptNewVertex(mark->mMatrix.pos.x, mark->mMatrix.pos.y, mark->mMatrix.pos.z);
    PyObject* at = ScriptNewVertex(mark->mMatrix.at.x, mark->mMatrix.at.y, mark->mMatrix.at.z);
    PyObject* argument = position && at ? Py_BuildValue("(OOi)", position, at, Int(args, 5)) : nullptr;
    const int32_t result = argument ? TsActorCallScriptMethod(dropped, "DropObject", argument) : 4;
    Py_XDECREF(argument);
    Py_XDECREF(position);
    Py_XDECREF(at);
    PyErr_Clear();
    return result == 0 ? 1 : 0;
}

int AttachedObjectCreate(const HbCommandArgs& args)
{
    if (Int(args, 1) != 0)
        return 1;
    const int32_t slot = Slot(args, 3);
    if (slot < 0)
        return 0;
    W3dNode* node = ScenarioActorSlots::GetAs<W3dNode>(slot);
    if (!node)
    {
        HbResourceManager* resources = HbResourceManager::Instance();
        HbRoot* resource = resources ? resources->GetResource(Text(args, 10).c_str()) : nullptr;
        node = HbCastTo<W3dNode>(resource);
        if (!node)
        {
            if (resource && resource->GetRefCount() == 0)
                resource->Release();
            return 1;
        }
        // The slot is weak: the level keeps the node.
        ScenarioKeepForLevel(node);
        ScenarioActorSlots::Set(slot, node);
    }
    if (node->GetParent())
        return 1;
    const int32_t mode = Int(args, 2);
    const int32_t holder = mode == 1 ? Slot(args, 11) : -1;
    if (mode == 1 && holder < 0)
        return 0;
    HangOnBone(node, mode, holder, Text(args, 11), Text(args, 12));
    return 1;
}

int AttachObjectOnActor(const HbCommandArgs& args)
{
    if (Int(args, 1) != 0)
        return 1;
    const int32_t slot = Slot(args, 3);
    if (slot < 0)
        return 0;
    W3dNode* node = ScenarioActorSlots::GetAs<W3dNode>(slot);
    if (!node || node->GetParent())
        return 1;
    const int32_t mode = Int(args, 2);
    const int32_t holder = mode == 1 ? Slot(args, 4) : -1;
    if (mode == 1 && holder < 0)
        return 0;
    HangOnBone(node, mode, holder, Text(args, 4), Text(args, 5));
    return 1;
}

int DetachObjectFromActor(const HbCommandArgs& args)
{
    if (Int(args, 1) != 0)
        return 1;
    const int32_t slot = Slot(args, 2);
    if (slot < 0)
        return 0;
    W3dNode* node = ScenarioActorSlots::GetAs<W3dNode>(slot);
    if (!node)
        return 1;
    if (auto* model = HbCastTo<W3dAnimObject>(node->GetParent()))
        model->DetachNode(node);
    CarriedObject& carried = Carried();
    if (carried.node.IsValid() && carried.node.GetObject() == node)
    {
        carried.node.Reset();
        carried.hero.Reset();
        carried.bone = -1;
    }
    return 1;
}
} // namespace scmd
