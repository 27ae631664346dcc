// The event-box condition kinds: objectives, actors' behaviours, names and script classes, the
// hero's inventory and equipment, the logical inventories and their counts, and whether one
// actor faces an actor or a mark. Each registers under its type key.
#pragma once

#include "yoeventbox.h"

#include <cstdint>
#include <string>

/// EBXOBJECTIFCOND: the done flag of the profile's objective of that index (0 outside 0 to 19).
class EBoxObjectifCondition : public YoEBoxACondition
{
    HB_DECLARE_CLASS_DESC();

public:
    int Read(HbMChunkStream* stream) override;
    int Write(HbMChunkStream* stream) override;
    std::string GetTypeKey() const override { return "EBXOBJECTIFCOND"; }
    int32_t Evaluate(TsActor* actor) override;
    virtual void SetObjectiveIndex(int32_t index) { mIndex = index; }

    int32_t mIndex = 0;
};

/// EBOXACTORBHVCOND: the actor's current behaviour (its script's currentBehaviourGenericName)
/// is the behaviour; "ACTORINBOX" names the actor in the box.
class EBoxActorBehaviourCondition : public YoEBoxACondition
{
    HB_DECLARE_CLASS_DESC();

public:
    int Read(HbMChunkStream* stream) override;
    int Write(HbMChunkStream* stream) override;
    std::string GetTypeKey() const override { return "EBOXACTORBHVCOND"; }
    int32_t Evaluate(TsActor* actor) override;
    virtual void SetName(const char* name) { mName = name ? name : ""; }
    virtual void SetBehaviourName(const char* name) { mBehaviour = name ? name : ""; }

    std::string mName;
    std::string mBehaviour;
};

/// The inventory kinds: an item name after the expected result.
class EBoxInventoryCondition : public YoEBoxACondition
{
    HB_DECLARE_CLASS_DESC();

public:
    int Read(HbMChunkStream* stream) override;
    int Write(HbMChunkStream* stream) override;
    virtual void SetName(const char* name) { mName = name ? name : ""; }

    std::string mName;
};

/// EBXPHYSINVCOND: the hero carries the item in its inventory or its equipment.
class EBoxPhysicalInventoryCondition : public EBoxInventoryCondition
{
    HB_DECLARE_CLASS_DESC();

public:
    std::string GetTypeKey() const override { return "EBXPHYSINVCOND"; }
    int32_t Evaluate(TsActor* actor) override;
};

/// EBXGLOBALLOGINVCOND: the item's count in the global logical inventory.
class EBoxGlobalLogicalInventoryCondition : public EBoxInventoryCondition
{
    HB_DECLARE_CLASS_DESC();

public:
    std::string GetTypeKey() const override { return "EBXGLOBALLOGINVCOND"; }
    int32_t Evaluate(TsActor* actor) override;
};

/// EBXSECTORLOGINVCOND: the item's count in the sector logical inventory (0 outside a mission).
class EBoxSectorLogicalInventoryCondition : public EBoxInventoryCondition
{
    HB_DECLARE_CLASS_DESC();

public:
    std::string GetTypeKey() const override { return "EBXSECTORLOGINVCOND"; }
    int32_t Evaluate(TsActor* actor) override;
};

/// EBOXOBJECTUSECONDITION: always 1.
class EBoxObjectUseCondition : public EBoxInventoryCondition
{
    HB_DECLARE_CLASS_DESC();

public:
    std::string GetTypeKey() const override { return "EBOXOBJECTUSECONDITION"; }
    int32_t Evaluate(TsActor*) override { return 1; }
};

/// The occurrence kinds: mode (0 fewer, 1 more, 2 exactly) and count after the item.
class EBoxOccurencesCondition : public EBoxInventoryCondition
{
    HB_DECLARE_CLASS_DESC();

public:
    int Read(HbMChunkStream* stream) override;
    int Write(HbMChunkStream* stream) override;
    virtual void SetMode(int32_t mode) { mMode = mode; }
    virtual void SetCount(int32_t count) { mCount = count; }
    /// The mode's comparison of the count with the condition's; 0 for another mode.
    int32_t Compare(int32_t count) const;

    int32_t mMode = 0;
    int32_t mCount = 0;
};

/// EBXPHYSINVOCCCOND: always 1.
class EBoxPhysicalInventoryOccurencesCondition : public EBoxOccurencesCondition
{
    HB_DECLARE_CLASS_DESC();

public:
    std::string GetTypeKey() const override { return "EBXPHYSINVOCCCOND"; }
    int32_t Evaluate(TsActor*) override { return 1; }
};

class EBoxGlobalLogicalInventoryOccurencesCondition : public EBoxOccurencesCondition
{
    HB_DECLARE_CLASS_DESC();

public:
    std::string GetTypeKey() const override { return "EBXGLLOGINVOCCCOND"; }
    int32_t Evaluate(TsActor* actor) override;
};

class EBoxSectorLogicalInventoryOccurencesCondition : public EBoxOccurencesCondition
{
    HB_DECLARE_CLASS_DESC();

public:
    std::string GetTypeKey() const override { return "EBXSECTLOGINVOCCCOND"; }
    int32_t Evaluate(TsActor* actor) override;
};

/// EBXACTNAMECOND: the actor in the box has that name.
class EBoxActorNameCondition : public YoEBoxACondition
{
    HB_DECLARE_CLASS_DESC();

public:
    int Read(HbMChunkStream* stream) override;
    int Write(HbMChunkStream* stream) override;
    std::string GetTypeKey() const override { return "EBXACTNAMECOND"; }
    int32_t Evaluate(TsActor* actor) override;
    virtual void SetName(const char* name) { mName = name ? name : ""; }

    std::string mName;
};

/// EBXACTTYPECOND: the actor in the box is of that script class ("TheHero" tests the name,
/// "Gard" stands for ClassGardWithGraph).
class EBoxActorTypeCondition : public EBoxActorNameCondition
{
    HB_DECLARE_CLASS_DESC();

public:
    std::string GetTypeKey() const override { return "EBXACTTYPECOND"; }
    int32_t Evaluate(TsActor* actor) override;
};

/// EBXLOOKATCOND: the source faces the target in the horizontal plane within the threshold
/// (a cosine). Kinds: 0 the named actor, 1 the actor in the box, 2 (target only) a mark.
class EBoxLookAtCondition : public YoEBoxACondition
{
    HB_DECLARE_CLASS_DESC();

public:
    int Read(HbMChunkStream* stream) override;
    int Write(HbMChunkStream* stream) override;
    std::string GetTypeKey() const override { return "EBXLOOKATCOND"; }
    int32_t Evaluate(TsActor* actor) override;

    int32_t mSourceKind = 0;
    int32_t mTargetKind = 0;
    std::string mSourceName = "NULL";
    std::string mTargetName = "NULL";
    float mThreshold = 0.0f;
};
