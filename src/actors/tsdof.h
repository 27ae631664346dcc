// TsDof: a degree of freedom (a door, a hatch): a model node moved by motor skills.
#pragma once

#include "tsactor.h"

class TsDof : public TsActor
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Its motor-skill table (owner: this actor); no model yet.
    TsDof();
    ~TsDof() override;

    W3dNode* GetNode() override { return mModel; }
    /// Nothing for null or the current model; else the current one leaves its parent and is
    /// released and the new one kept (one reference).
    void SetModel(W3dNode* node) override;
    /// An empty name makes an empty frame node, another fetches the node resource. 1 when the
    /// actor then has a node.
    int32_t LoadModel(const char* name) override;
    TsMotorSkills* GetMotorSkills() override { return mSkills; }
    /// Keeps the new table (one reference) after releasing the old one; null clears.
    virtual void SetMotorSkills(TsMotorSkills* table);

private:
    W3dNode* mModel = nullptr;
    TsMotorSkills* mSkills = nullptr;
};

/// TsGroupAnimActor: a holder of a motor-skill table without a node.
class TsGroupAnimActor : public TsActor
{
    HB_DECLARE_CLASS_DESC();

public:
    TsGroupAnimActor();
    ~TsGroupAnimActor() override;

    W3dNode* GetNode() override { return nullptr; }
    int32_t LoadModel(const char*) override { return 1; }
    TsMotorSkills* GetMotorSkills() override { return mSkills; }
    virtual void SetMotorSkills(TsMotorSkills* table);

    /// Kept for the group's members; nothing here fills it.
    HbPtrArray mMembers;

private:
    TsMotorSkills* mSkills = nullptr;
};

/// Registers the actor layer's types with their ids (5 to 8) in the actor-type registry;
/// again does nothing new.
void TsRegisterActorTypes();
