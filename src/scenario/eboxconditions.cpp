// The event-box condition kinds, and what the kinds reach of the game state.
#include "eboxconditions.h"

#include "eboxkinds_local.h"
#include "gameprofile.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "hbchunkstream.h"
#include "hbresource.h"
#include "logicalinventory.h"
#include "missionmanager.h"
#include "scenaricmodule.h"
#include "scriptworldmanager.h"
#include "tsactor.h"
#include "tsactorlayer.h"
#include "tsinventory.h"
#include "tsmarksystem.h"
#include "tsscriptbinding.h"
#include "w3dnode.h"
#include "yoscenaricmark.h"

#include <cmath>

HB_DEFINE_CLASS_DESC(EBoxObjectifCondition, YoEBoxACondition);
HB_DEFINE_CLASS_DESC(EBoxActorBehaviourCondition, YoEBoxACondition);
HB_DEFINE_CLASS_DESC(EBoxInventoryCondition, YoEBoxACondition);
HB_DEFINE_CLASS_DESC(EBoxPhysicalInventoryCondition, YoEBoxACondition);
HB_DEFINE_CLASS_DESC(EBoxGlobalLogicalInventoryCondition, YoEBoxACondition);
HB_DEFINE_CLASS_DESC(EBoxSectorLogicalInventoryCondition, YoEBoxACondition);
HB_DEFINE_CLASS_DESC(EBoxObjectUseCondition, YoEBoxACondition);
HB_DEFINE_CLASS_DESC(EBoxOccurencesCondition, YoEBoxACondition);
HB_DEFINE_CLASS_DESC(EBoxPhysicalInventoryOccurencesCondition, YoEBoxACondition);
HB_DEFINE_CLASS_DESC(EBoxGlobalLogicalInventoryOccurencesCondition, YoEBoxACondition);
HB_DEFINE_CLASS_DESC(EBoxSectorLogicalInventoryOccurencesCondition, YoEBoxACondition);
HB_DEFINE_CLASS_DESC(EBoxActorNameCondition, YoEBoxACondition);
HB_DEFINE_CLASS_DESC(EBoxActorTypeCondition, YoEBoxACondition);
HB_DEFINE_CLASS_DESC(EBoxLookAtCondition, YoEBoxACondition);

HB_REGISTER_RESOURCE_TYPE(EBoxObjectifCondition, "EBXOBJECTIFCOND");
HB_REGISTER_RESOURCE_TYPE(EBoxActorBehaviourCondition, "EBOXACTORBHVCOND");
HB_REGISTER_RESOURCE_TYPE(EBoxPhysicalInventoryCondition, "EBXPHYSINVCOND");
HB_REGISTER_RESOURCE_TYPE(EBoxGlobalLogicalInventoryCondition, "EBXGLOBALLOGINVCOND");
HB_REGISTER_RESOURCE_TYPE(EBoxSectorLogicalInventoryCondition, "EBXSECTORLOGINVCOND");
HB_REGISTER_RESOURCE_TYPE(EBoxObjectUseCondition, "EBOXOBJECTUSECONDITION");
HB_REGISTER_RESOURCE_TYPE(EBoxPhysicalInventoryOccurencesCondition, "EBXPHYSINVOCCCOND");
HB_REGISTER_RESOURCE_TYPE(EBoxGlobalLogicalInventoryOccurencesCondition, "EBXGLLOGINVOCCCOND");
HB_REGISTER_RESOURCE_TYPE(EBoxSectorLogicalInventoryOccurencesCondition, "EBXSECTLOGINVOCCCOND");
HB_REGISTER_RESOURCE_TYPE(EBoxActorNameCondition, "EBXACTNAMECOND");
HB_REGISTER_RESOURCE_TYPE(EBoxActorTypeCondition, "EBXACTTYPECOND");
HB_REGISTER_RESOURCE_TYPE(EBoxLookAtCondition, "EBXLOOKATCOND");

// ---- The game state -----------------------------------------------------------------------------------

namespace
{
GameState* CurrentState()
{
    GameStateManager* manager = GameStateManager::Existing();
    return manager ? manager->GetCurrentState() : nullptr;
}

int WriteText(HbMChunkStream* stream, const std::string& text)
{
    return HbWriteCStringToStream(stream, text.c_str());
}

/// The horizontal part of v, of length 1 (zero stays zero).
Vector Flat(Vector v)
{
    v.y = 0.0f;
    const float length = std::sqrt(v.x * v.x + v.z * v.z);
    if (length > 0.0f)
    {
        v.x /= length;
        v.z /= length;
    }
    return v;
}

/// A source or target of the look-at test: its position and, for an actor, the actor.
struct LookEnd
{
    bool found = true;
    TsActor* actor = nullptr;
    Vector position = {0.0f, 0.0f, 0.0f};
    Vector at = {0.0f, 0.0f, 0.0f};
};

LookEnd ActorEnd(TsActor* actor)
{
    LookEnd end;
    W3dNode* node = actor ? actor->GetNode() : nullptr;
    const Vector* position = node ? node->GetWorldPosition() : nullptr;
    const Vector* at = node ? node->GetWorldAt() : nullptr;
    if (!position || !at)
    {
        end.found = false;
        return end;
    }
    end.actor = actor;
    end.position = *position;
    end.at = *at;
    return end;
}
} // namespace

GameProfile* EBoxProfile()
{
    GameState* state = CurrentState();
    return state ? state->GetProfile() : nullptr;
}

StringHashMap* EBoxGlobalInventory()
{
    GameProfile* profile = EBoxProfile();
    return profile ? &profile->globalInventory : nullptr;
}

StringHashMap* EBoxSectorInventory()
{
    GameState* state = CurrentState();
    return state && state->GetId() == kGameStateStage ? state->GetSectorLogicalInventory() : nullptr;
}

// ---- Objectives and behaviours ---------------------------------------------------------------------------

int EBoxObjectifCondition::Read(HbMChunkStream* stream)
{
    return YoEBoxACondition::Read(stream) && stream->ReadInt32(mIndex);
}

int EBoxObjectifCondition::Write(HbMChunkStream* stream)
{
    return YoEBoxACondition::Write(stream) && stream->WriteInt32(mIndex);
}

int32_t EBoxObjectifCondition::Evaluate(TsActor*)
{
    GameProfile* profile = EBoxProfile();
    // IsObjectiveDone checks both ends of the table: a negative index from a file reads nothing.
    return profile ? profile->GetMissions().IsObjectiveDone(mIndex) : 0;
}

int EBoxActorBehaviourCondition::Read(HbMChunkStream* stream)
{
    return YoEBoxACondition::Read(stream) && HbReadCString(stream, mName) && HbReadCString(stream, mBehaviour);
}

int EBoxActorBehaviourCondition::Write(HbMChunkStream* stream)
{
    return YoEBoxACondition::Write(stream) && WriteText(stream, mName) && WriteText(stream, mBehaviour);
}

int32_t EBoxActorBehaviourCondition::Evaluate(TsActor* actor)
{
    TsActor* subject = mName == "ACTORINBOX" ? actor : TsFindActorByName(mName.c_str());
    std::string current;
    return subject && TsActorGetBehaviourName(subject, current) == 0 && current == mBehaviour ? 1 : 0;
}

// ---- Inventories ---------------------------------------------------------------------------------------------

int EBoxInventoryCondition::Read(HbMChunkStream* stream)
{
    return YoEBoxACondition::Read(stream) && HbReadCString(stream, mName);
}

int EBoxInventoryCondition::Write(HbMChunkStream* stream)
{
    return YoEBoxACondition::Write(stream) && WriteText(stream, mName);
}

int32_t EBoxPhysicalInventoryCondition::Evaluate(TsActor*)
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    TsActor* hero = world ? world->GetHero() : nullptr;
    if (!hero)
        return 0;
    const ScenaricHeroAccess& access = ScenaricGetHeroAccess();
    TsInventory* inventory = access.inventory ? access.inventory(hero) : nullptr;
    if (inventory && inventory->Contains(mName.c_str()))
        return 1;
    TsInventory* equipment = access.equipment ? access.equipment(hero) : nullptr;
    return equipment && equipment->Contains(mName.c_str()) ? 1 : 0;
}

int32_t EBoxGlobalLogicalInventoryCondition::Evaluate(TsActor*)
{
    StringHashMap* inventory = EBoxGlobalInventory();
    return inventory ? LogicalInventoryCount(*inventory, mName.c_str()) : 0;
}

int32_t EBoxSectorLogicalInventoryCondition::Evaluate(TsActor*)
{
    StringHashMap* inventory = EBoxSectorInventory();
    return inventory ? LogicalInventoryCount(*inventory, mName.c_str()) : 0;
}

int EBoxOccurencesCondition::Read(HbMChunkStream* stream)
{
    return EBoxInventoryCondition::Read(stream) && stream->ReadInt32(mMode) && stream->ReadInt32(mCount);
}

int EBoxOccurencesCondition::Write(HbMChunkStream* stream)
{
    return EBoxInventoryCondition::Write(stream) && stream->WriteInt32(mMode) && stream->WriteInt32(mCount);
}

int32_t EBoxOccurencesCondition::Compare(int32_t count) const
{
    switch (mMode)
    {
    case 0:
        return count < mCount ? 1 : 0;
    case 1:
        return count > mCount ? 1 : 0;
    case 2:
        return count == mCount ? 1 : 0;
    default:
        return 0;
    }
}

int32_t EBoxGlobalLogicalInventoryOccurencesCondition::Evaluate(TsActor*)
{
    StringHashMap* inventory = EBoxGlobalInventory();
    return inventory ? Compare(LogicalInventoryCount(*inventory, mName.c_str())) : 0;
}

int32_t EBoxSectorLogicalInventoryOccurencesCondition::Evaluate(TsActor*)
{
    StringHashMap* inventory = EBoxSectorInventory();
    return inventory ? Compare(LogicalInventoryCount(*inventory, mName.c_str())) : 0;
}

// ---- The actor in the box -----------------------------------------------------------------------------------

int EBoxActorNameCondition::Read(HbMChunkStream* stream)
{
    return YoEBoxACondition::Read(stream) && HbReadCString(stream, mName);
}

int EBoxActorNameCondition::Write(HbMChunkStream* stream)
{
    return YoEBoxACondition::Write(stream) && WriteText(stream, mName);
}

int32_t EBoxActorNameCondition::Evaluate(TsActor* actor)
{
    return actor && TsActorNameEquals(actor, mName.c_str()) ? 1 : 0;
}

int32_t EBoxActorTypeCondition::Evaluate(TsActor* actor)
{
    return actor && TsActorCheckScriptClass(actor, mName.c_str()) ? 1 : 0;
}

// ---- Looking at -------------------------------------------------------------------------------------------------

int EBoxLookAtCondition::Read(HbMChunkStream* stream)
{
    return YoEBoxACondition::Read(stream) && stream->ReadInt32(mSourceKind) && stream->ReadInt32(mTargetKind) &&
           HbReadCString(stream, mSourceName) && HbReadCString(stream, mTargetName) && stream->ReadReal(mThreshold);
}

int EBoxLookAtCondition::Write(HbMChunkStream* stream)
{
    return YoEBoxACondition::Write(stream) && stream->WriteInt32(mSourceKind) && stream->WriteInt32(mTargetKind) &&
           WriteText(stream, mSourceName) && WriteText(stream, mTargetName) && stream->WriteReal(mThreshold);
}

int32_t EBoxLookAtCondition::Evaluate(TsActor* actor)
{
    LookEnd source;
    if (mSourceKind == 0 || mSourceKind == 1)
        source = ActorEnd(mSourceKind == 0 ? TsFindActorByName(mSourceName.c_str()) : actor);
    LookEnd target;
    if (mTargetKind == 0 || mTargetKind == 1)
        target = ActorEnd(mTargetKind == 0 ? TsFindActorByName(mTargetName.c_str()) : actor);
    else if (mTargetKind == 2)
    {
        TsMarkSystem* marks = TsGetMarkSystem();
        YoScenaricMark* mark = marks ? marks->FindMark(mTargetName.c_str()) : nullptr;
        target.found = mark != nullptr;
        if (mark)
            target.position = mark->GetPosition();
    }
    if (!source.found || !target.found || source.actor == target.actor)
        return 0;
    const Vector delta = Flat({target.position.x - source.position.x, target.position.y - source.position.y,
                               target.position.z - source.position.z});
    const Vector at = Flat(source.at);
    return at.x * delta.x + at.z * delta.z > mThreshold ? 1 : 0;
}
