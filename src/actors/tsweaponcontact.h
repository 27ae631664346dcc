// TsWeaponContact: the melee weapon (knife, rifle butt): a weapon whose model has a strike
// frame, and whose Strike picks the actor hit (given, or found near the holder), sends it a hit
// event with the weapon's damage and computes the point where the hit shows.
#pragma once

#include "tssendevent.h"
#include "tsweapon.h"

#include <cstdint>

struct Frame;
class TsWeaponContact;

/// What SetWeaponContactData fills; besides the damage, read by the gameplay weapons.
struct TsWeaponContactData
{
    float reals[4] = {};
    int32_t set = 0;
    int32_t optional = -1;
    int32_t damage = 0;
    int64_t duration = 0;
    int32_t unset = -1;
    int32_t last = 0;
    TsWeaponContact* self = nullptr;
    int32_t ninth = 0;
    HbRoot* resources[2] = {};
    int32_t twelfth = 0;
    int32_t optionals[2] = {-1, -1};
    int32_t fifteenth = 0;
    float tail[4] = {};
};

class TsWeaponContact : public TsWeapon
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Reach and torso distance of a strike, in world units.
    static constexpr float kReach = 130.0f;
    static constexpr float kStrikeDistance = 30.0f;
    static constexpr int32_t kTorsoBone = 5;

    TsWeaponContact();
    /// Releases the two resources of the contact data.
    ~TsWeaponContact() override;

    /// The named model resource becomes the model; the strike frame is the first child of
    /// the first child of the model's frame, each step falling back to the frame above. 1,
    /// or 0 when the weapon then has no model.
    int32_t LoadModel(const char* name) override;
    /// TsWeapon::SetModel, then FindFrames: the frames never outlive their model.
    void SetModel(W3dNode* node) override;
    /// The model and strike frames of the current model (null without one).
    virtual void FindFrames();

    /// Hits the actor given, or the one in reach the holder's search finds among its enemies:
    /// one hit event with the damage, then the strike point 30 units from the victim's torso
    /// toward the attacker and OnStrike. A victim without a torso bone, or no holder, stops
    /// after the event. Always 1.
    virtual int32_t Strike(TsActor* actor);
    virtual void ClearStrikeTarget() { mStruck = nullptr; }
    /// Shows the hit at the strike point; nothing here.
    virtual void OnStrike() {}

    /// Keeps the two resources (one reference each, null allowed) in place of the old ones.
    void SetContactResources(HbRoot* first, HbRoot* second);

    TsWeaponContactData mContact;
    TsSendEvent mStrikeEvent;
    int32_t mStrikeExtra = 0;
    Vector mStrikePoint = {0.0f, 0.0f, 0.0f};
    /// Whether the last strike computed a strike point.
    int32_t mStrikePointSet = 0;

    Frame* GetStrikeFrame() const { return mStrikeFrame; }
    Frame* GetModelFrame() const { return mModelFrame; }
    TsActor* GetStruckActor() const { return mStruck; }

protected:
    Frame* mStrikeFrame = nullptr;
    Frame* mModelFrame = nullptr;
    TsActor* mStruck = nullptr;
};
