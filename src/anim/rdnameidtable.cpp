// The bone, profile and animation-event name tables.
#include "rdnameidtable.h"

#include "hbexitlist.h"

#include <cstring>
#include <iterator>

HB_DEFINE_CLASS_DESC(NameIdTable, HbRoot);

namespace
{

const char* const kBoneNames[] = {
    "InvalidBoneName", "DummyRootBone", "Root", "Pelvis", "Lower_Torso", "Middle_Torso", "Upper_Torso",
    "Left_Shoulder", "Left_Uparm", "Left_Lowarm", "Left_Wrist", "Left_Upfinger", "Left_Lowfinger", "Left_Thumb",
    "Left_Upfinger2", "Left_Lowfinger2", "Right_Shoulder", "Right_Uparm", "Right_Lowarm", "Right_Wrist",
    "Right_Upfinger", "Right_Lowfinger", "Right_Thumb", "Right_Hand", "Right_Upfinger2", "Right_Lowfinger2", "Neck",
    "Head", "Jaw", "Right_Low_Lip", "Low_Lip", "Left_Low_Lip", "Right_Lips", "Right_Up_Lip", "Up_Lip",
    "Left_Up_Lip", "Left_Lips", "Right_Cheek", "Right_Up_EyeLid", "Right_Eye", "Right_Low_EyeLid",
    "Right_E_EyeBrow", "Midlle_EyeBrow", "Right_EyeBrow", "Right_M_EyeBrow", "Left_Up_EyeLid", "Left_Eye",
    "Left_Low_EyeLid", "Left_E_EyeBrow", "Left_EyeBrow", "Left_M_EyeBrow", "Left_Cheek", "Right_Upleg",
    "Right_Lowleg", "Right_Ankle", "Right_Toe", "Left_Upleg", "Left_Lowleg", "Left_Ankle", "Left_Toe", "Left_Hip",
    "Left_Foot", "Right_Hip", "Right_Foot", "joint2", "joint8", "joint7", "joint6", "joint5", "joint4", "joint3",
    "joint9", "joint10", "joint11", "joint12", "joint13", "joint14", "joint15", "joint16", "PelvisCreature",
    "MiddleTorsoCreat", "UpperTorsoCreat", "HeadCreat", "LeftShoulderCreat", "LeftUpArmCreat", "LeftLowArmCreat",
    "LeftHandCreat", "RightShoulderCreat", "RightUpArmCreat", "RightLowArmCreat", "RightHandCreat", "BackHeadCreat",
    "PelvisPortG", "MiddleTorsoPortG", "UppertorsoPortG", "headPortG", "Tongue1", "Tongue2", "LeftUplegPortG",
    "LeftLowlegPortG", "leftFootPortG", "leftToePortG", "RightUplegPortG", "RightLowlegPortG", "RightFootPortG",
    "RightToePortG", "PelvisPortCan", "MiddleTorsoPortCan", "UpTorsoPortCan", "HeadPortCan", "UparmPortCan",
    "LowArmPortCan", "HandPortCan", "RightUplegPortCan", "RightLowlegPortCan", "LeftUplegPortCan",
    "LeftLowlegPortCan", "LeftFootPortCan", "LeftToePortCan", "PelvisPortD", "MiddleTorsoPortD", "UpperTorsoPortD",
    "HeadPortD", "ShoulderportD", "UparmPortD", "LowArmPortD", "HandPortD", "RighUplegPortD", "RightLowlegPortD",
    "LeftUplegPortD", "LeftLowlegPortD", "LeftFootPortD", "LeftToePortD", "BackUpleg", "BackLowleg", "BackFoot",
    "BackToe", "Torso", "Chenille_D", "Roue_D_10", "Roue_D_09", "Roue_D_08", "Roue_D_07", "Roue_D_06", "Roue_D_05",
    "Roue_D_04", "Roue_D_03", "Roue_D_02", "Roue_D_01", "Chenille_G", "Roue_G_10", "Roue_G_09", "Roue_G_08",
    "Roue_G_07", "Roue_G_06", "Roue_G_05", "Roue_G_04", "Roue_G_03", "Roue_G_02", "Roue_G_01", "Caisse", "Tourelle",
    "Support_Canon",
};
static_assert(std::size(kBoneNames) == 163);

const char* const kEventNames[] = {
    "EVENTID_NONE", "EVENTID_LEFT_FOOT_ON_GROUND", "EVENTID_RIGHT_FOOT_ON_GROUND", "EVENTID_CORVANE_FIRST",
    "EVENTID_CORVANE_SECOND", "EVENTID_CORVANE_THIRD", "EVENTID_CORVANE_FOURTH", "EVENTID_CORVANE_FIFTH",
    "EVENTID_CORVANE_SIXTH", "EVENTID_CORVANE_SEVENTH", "EVENTID_CORVANE_EIGHTH", "EVENTID_CORVANE_NINETH",
    "EVENTID_CORVANE_TENTH", "EVENTID_STRIKE",
};
static_assert(std::size(kEventNames) == 14);

const char* const kProfileNames[] = {
    "NONE", "ALL", "HIGH_PART", "LOW_PART", "LEFT_ARM", "LEFT_HAND", "RIGHT_ARM", "RIGHT_HAND", "LEFT_LEG",
    "LEFT_FOOT", "RIGHT_LEG", "RIGHT_FOOT", "HEAD", "SEE", "LOOK_AT", "TARGET", "OVER_MTORSO",
};
static_assert(std::size(kProfileNames) == 17);

NameIdTable* sTables[3];
bool sMade[3];

/// The table in slot with the names in id order, made on first use.
NameIdTable* GetTable(int slot, const char* const* names, size_t count)
{
    if (sMade[slot])
        return sTables[slot];
    sMade[slot] = true;
    NameIdTable* table = new NameIdTable();
    if (!table)
        return nullptr;
    for (size_t i = 0; i < count; ++i)
        table->Insert(int32_t(i), names[i]);
    sTables[slot] = table;
    static const HbExitCallback kDestroy[3] = {
        []() { delete sTables[0]; sTables[0] = nullptr; },
        []() { delete sTables[1]; sTables[1] = nullptr; },
        []() { delete sTables[2]; sTables[2] = nullptr; },
    };
    HbExitList::Add(kDestroy[slot]);
    return table;
}

} // namespace

void NameIdTable::Insert(int32_t id, const char* name)
{
    if (!name || Contains(name))
        return;
    if (std::string* slot = mNames.FindOrInsert(uint32_t(id)))
        *slot = name;
}

int NameIdTable::Contains(const char* name) const
{
    HbPosition position = mNames.GetStartPosition();
    uint32_t key;
    std::string value;
    while (position && mNames.GetNextAssoc(position, key, value))
        if (value == name)
            return 1;
    return 0;
}

int32_t NameIdTable::FindIdByName(const char* name) const
{
    if (!name)
        return 0;
    HbPosition position = mNames.GetStartPosition();
    uint32_t key;
    std::string value;
    while (position && mNames.GetNextAssoc(position, key, value))
        if (value == name)
            return int32_t(key);
    return 0;
}

int NameIdTable::FindNameById(int32_t id, std::string& name) const
{
    return mNames.Lookup(uint32_t(id), name);
}

NameIdTable* NameIdTable::Bones()
{
    return GetTable(0, kBoneNames, std::size(kBoneNames));
}

NameIdTable* NameIdTable::Events()
{
    return GetTable(1, kEventNames, std::size(kEventNames));
}

NameIdTable* NameIdTable::Profiles()
{
    return GetTable(2, kProfileNames, std::size(kProfileNames));
}
