// HeroHudAccess: what the head-up display reads from the hero and the weapon in its hand every
// frame, and the map screen the hero's place. The gameplay layer's hero and weapons install their
// reader; until one is installed the default reader reports no item, no hit points, no hit and no
// state, no shooting weapon and no place.
#pragma once

#include <cstdint>

class HbRoot;

/// What the display shows of a shooting weapon.
struct WeaponDisplayData
{
    /// Rounds in the magazine; negative when not set.
    int32_t rounds = 0;
    int32_t magazineSize = 0;
    /// Full magazines left; -1 for an unlimited stock.
    int32_t magazines = 0;
    /// The second and third weapon data values: the cross-hair's segments and its centre point.
    int32_t showSegments = 0;
    int32_t showCentre = 0;
};

class HeroHudAccess
{
public:
    /// Direction of the last hit seen from the camera; kNoHit when none this frame.
    enum HitDirection : int32_t
    {
        kHitTop = 0,
        kHitRight = 1,
        kHitBottom = 2,
        kHitLeft = 3,
        kNoHit = 4,
    };

    virtual ~HeroHudAccess() = default;

    /// The inventory item held (a TsInventoryItem), or null.
    virtual HbRoot* GetItemInHand(HbRoot* hero);
    virtual int32_t GetHitPoints(HbRoot* hero);
    virtual int32_t GetMaxHitPoints(HbRoot* hero);
    virtual int32_t GetLastHitDirection(HbRoot* hero);
    /// The hero state machine's current state id; 0 when none.
    virtual int32_t GetHeroStateId(HbRoot* hero);
    /// 1 and the data when the object is a shooting weapon, 0 otherwise.
    virtual int32_t GetWeaponDisplayData(HbRoot* weapon, WeaponDisplayData* out);
    /// 1 and the hero's world position and forward direction (x, y, z each); 0 when this reader cannot
    /// tell, and the map then reads the hero actor's node.
    virtual int32_t GetHeroPlacement(HbRoot* hero, float position[3], float forward[3]);
    /// The hero's carried weapons (a TsInventory), which the inventory's weapon wheel reads; null
    /// when the hero carries no weapon list.
    virtual HbRoot* GetWeaponList(HbRoot* hero);

    /// The installed reader, or the default one; never null.
    static HeroHudAccess* Get();
    /// Null puts the default reader back. The caller keeps the object alive while installed.
    static void Install(HeroHudAccess* access);
};
