// TsWeaponContact: the melee weapon (knife, rifle butt): a weapon whose model has a strike
// frame and a hit record, and whose Strike picks the actor hit (given, or found near the holder), sends it a hit
// event with the weapon's damage and computes the point where the hit shows.
#pragma once

#include "tssendevent.h"
#include "tsweapon.h"

#include <cstdint>

struct Frame;
class TsWeaponContact;

/// The hit record of a contact strike and, in a firearm, of its ammunition: what a projectile
/// (or the strike) carries to the actor or the ground it hits. Speeds and growths are per tick,
/// the lifetime in ticks. The two impact sounds are held (one reference each).
struct TsWeaponContactData
{
    TsWeaponContactData() = default;
    ~TsWeaponContactData() { SetImpactSounds(nullptr, nullptr); }
    TsWeaponContactData(const TsWeaponContactData&) = delete;
    TsWeaponContactData& operator=(const TsWeaponContactData&) = delete;

    /// Keeps the two sounds (null allowed) in place of the old ones.
    void SetImpactSounds(HbRoot* world, HbRoot* actor);

    float launchSpeed = 0.0f;
    float flightSpeed = 0.0f;
    /// Extra radius against actors, used only with the wide-hit flag.
    float hitRadius = 0.0f;
    float hitRadiusGrowth = 0.0f;
    int32_t wideHit = 0;
    /// Effect ids: 0..59, -1 for none.
    int32_t trailEffect = -1;
    int32_t damage = 0;
    int64_t lifetime = 0;
    /// Projectile model row; -1 none (always for a contact weapon).
    int32_t projectileModel = -1;
    int32_t hitsWorld = 0;
    TsWeapon* owner = nullptr;
    /// 0: the impact becomes a blast.
    int32_t directHitOnly = 0;
    HbRoot* worldImpactSound = nullptr;
    HbRoot* actorImpactSound = nullptr;
    int32_t impactNoise = 0;
    int32_t worldImpactEffect = -1;
    int32_t actorImpactEffect = -1;
    int32_t hitEvent = 0;
    float blastDamage = 0.0f;
    float blastRadius = 0.0f;
    float blastSpeed = 0.0f;
    float blastFalloff = 0.0f;
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
