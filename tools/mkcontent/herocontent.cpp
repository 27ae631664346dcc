// The hero as small tables: bones with their rest offsets, boxes on the bones for the body, the
// uniforms' colour patches (the hero's and the soldiers'), and a pose function per kind of
// motion that the animation ids name. The world is y up: the figure stands on its root.
#include "herocontent.h"

#include "animationwriter.h"
#include "clumpwriter.h"
#include "fontwriter.h"
#include "geometry.h"
#include "hierarchy.h"
#include "hierarchywriter.h"
#include "rdanimset.h"
#include "skeletonwriter.h"
#include "skinwriter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <set>

namespace
{
constexpr float kPi = 3.14159265f;

// ---- The figure ----------------------------------------------------------------------------------

struct Bone
{
    const char* name;
    int32_t parent; ///< an earlier bone, -1 for the root
    float offset[3]; ///< from the parent, at rest (no bone turns at rest)
};

// Facing +z, the figure's left is +x. The root stands on the ground; the feet's soles are at 0.
const Bone kBones[] = {
    {"DummyRootBone", -1, {0, 0, 0}},  {"Pelvis", 0, {0, 95, 0}},        {"Upper_Torso", 1, {0, 35, 0}},
    {"Head", 2, {0, 40, 0}},           {"Left_Uparm", 2, {20, 35, 0}},   {"Left_Lowarm", 4, {0, -30, 0}},
    {"Right_Uparm", 2, {-20, 35, 0}},  {"Right_Lowarm", 6, {0, -30, 0}}, {"Right_Hand", 7, {0, -28, 0}},
    {"Left_Upleg", 1, {10, -5, 0}},    {"Left_Lowleg", 9, {0, -42, 0}},  {"Left_Foot", 10, {0, -42, 0}},
    {"Right_Upleg", 1, {-10, -5, 0}},  {"Right_Lowleg", 12, {0, -42, 0}}, {"Right_Foot", 13, {0, -42, 0}},
};
constexpr int32_t kBoneCount = int32_t(sizeof(kBones) / sizeof(kBones[0]));
/// From the hip to the ankle, both leg bones' length.
constexpr float kLegLength = 84.0f;
enum BoneIndex
{
    kRoot, kPelvis, kTorso, kHead, kLUparm, kLLowarm, kRUparm, kRLowarm, kRHand,
    kLUpleg, kLLowleg, kLFoot, kRUpleg, kRLowleg, kRFoot
};

/// The texture's patches: one flat colour each, in a 4 x 2 grid of 8 x 16 texels.
enum Patch
{
    kCloth,
    kTrousers,
    kSkin,
    kBoot,
    kGun,
    kBelt,
    kHair,
    kPatchCount
};
/// A uniform: its texture's name and the colour of each patch, in the order of the patches.
struct Uniform
{
    const char* texture;
    uint8_t colours[kPatchCount][3];
};
// Cloth, trousers, skin, boots, gun, belt, hair (a helmet for the soldiers).
const Uniform kUniforms[] = {
    {kHeroTextureName,
     {{kHeroCloth[0], kHeroCloth[1], kHeroCloth[2]},
      {60, 70, 40},
      {215, 170, 130},
      {50, 35, 25},
      {40, 40, 45},
      {95, 70, 40},
      {70, 50, 30}}},
    {kSoldierTextureName,
     {{kSoldierCloth[0], kSoldierCloth[1], kSoldierCloth[2]},
      {80, 84, 78},
      {210, 165, 125},
      {30, 28, 26},
      {40, 40, 45},
      {45, 42, 38},
      {88, 95, 80}}},
};
constexpr int32_t kPatchWidth = 8, kPatchHeight = 16, kPatchColumns = 4;

/// A box of the body, in model space at rest, on one bone.
struct Box
{
    int32_t bone;
    float low[3];
    float high[3];
    Patch patch;
};

// Pelvis and belt, torso, head with its hair (or helmet) on top and at the back, arms, the right
// hand holding a gun, legs and boots; model space at rest, in the figure's units (a metre is
// 100).
const Box kBody[] = {
    {kPelvis, {-14, 85, -9}, {14, 100, 9}, kTrousers}, {kPelvis, {-15, 96, -10}, {15, 100, 10}, kBelt},
    {kTorso, {-17, 100, -10}, {17, 160, 10}, kCloth},  {kHead, {-9, 160, -10}, {9, 182, 10}, kSkin},
    {kHead, {-10, 178, -11}, {10, 185, 6}, kHair},     {kHead, {-10, 166, -11}, {10, 178, -6}, kHair},
    {kLUparm, {18, 135, -4}, {26, 165, 4}, kCloth},    {kLLowarm, {18, 108, -4}, {26, 135, 4}, kSkin},
    {kRUparm, {-26, 135, -4}, {-18, 165, 4}, kCloth},  {kRLowarm, {-26, 110, -4}, {-18, 135, 4}, kSkin},
    {kRHand, {-25, 100, -3}, {-19, 110, 3}, kSkin},    {kRHand, {-23, 103, 0}, {-21, 109, 35}, kGun},
    {kLUpleg, {4, 48, -6}, {16, 90, 6}, kTrousers},    {kLLowleg, {5, 6, -5}, {15, 48, 5}, kTrousers},
    {kLFoot, {4, 0, -5}, {16, 6, 14}, kBoot},          {kRUpleg, {-16, 48, -6}, {-4, 90, 6}, kTrousers},
    {kRLowleg, {-15, 6, -5}, {-5, 48, 5}, kTrousers},  {kRFoot, {-16, 0, -5}, {-4, 6, 14}, kBoot},
};

std::array<float, 3> RestPosition(int32_t bone)
{
    std::array<float, 3> p = {0, 0, 0};
    for (int32_t b = bone; b >= 0; b = kBones[b].parent)
        for (int i = 0; i < 3; ++i)
            p[size_t(i)] += kBones[b].offset[i];
    return p;
}

bool IsLeaf(int32_t bone)
{
    for (const Bone& b : kBones)
        if (b.parent == bone)
            return false;
    return true;
}

bool HasLaterSibling(int32_t bone)
{
    for (int32_t b = bone + 1; b < kBoneCount; ++b)
        if (kBones[b].parent == kBones[bone].parent)
            return true;
    return false;
}

std::string ToString(const std::vector<uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// ---- Poses -------------------------------------------------------------------------------------

using Quat = std::array<float, 4>;

Quat Axis(float x, float y, float z, float degrees)
{
    const float h = degrees * kPi / 360.0f;
    return {x * std::sin(h), y * std::sin(h), z * std::sin(h), std::cos(h)};
}

Quat Mul(const Quat& a, const Quat& b)
{
    return {a[3] * b[0] + a[0] * b[3] + a[1] * b[2] - a[2] * b[1], a[3] * b[1] - a[0] * b[2] + a[1] * b[3] + a[2] * b[0],
            a[3] * b[2] + a[0] * b[1] - a[1] * b[0] + a[2] * b[3], a[3] * b[3] - a[0] * b[0] - a[1] * b[1] - a[2] * b[2]};
}

/// One pose: each bone's turn about x, y, z (degrees, applied x then y then z) and the root's and
/// pelvis's moves from rest.
struct Pose
{
    float turn[kBoneCount][3] = {};
    float root[3] = {};
    float pelvis[3] = {};
};

/// The motion an id's words ask for, at phase s (0 .. 1 of the duration).
struct Motion
{
    float duration = 1.0f;
    float forward = 0, side = 0, climb = 0; ///< root travel over the duration
    float yaw = 0;                          ///< root turn over the duration
    float stride = 0;                       ///< leg swing, degrees
    float arms = 10;                        ///< arm swing when not aiming
    bool aim = false, crouch = false, roll = false, die = false, hit = false, reload = false, shoot = false,
         strike = false, change = false, raise = false, ladder = false, lean = false;
};

bool Has(const std::string& id, const char* word)
{
    return id.find(word) != std::string::npos;
}

Motion MotionOf(const std::string& id)
{
    Motion m;
    m.aim = Has(id, "_A_") || Has(id, "SHOOT");
    m.crouch = Has(id, "CROUCH");
    m.ladder = Has(id, "LADDER");
    if (Has(id, "WALK") || Has(id, "PATROL"))
    {
        m.stride = 25;
        m.forward = Has(id, "PATROL") ? 60.0f : 100.0f;
    }
    if (Has(id, "RUN"))
    {
        m.stride = 40, m.duration = 0.6f, m.forward = 180.0f;
        if (Has(id, "BANK_L"))
            m.yaw = 20;
        if (Has(id, "BANK_R"))
            m.yaw = -20;
    }
    if (m.crouch && (Has(id, "_F_") || Has(id, "_L_") || Has(id, "_R_") || Has(id, "_B_")))
        m.stride = 15, m.forward = 60.0f;
    // Aimed steps go the way their letter says; the figure keeps facing ahead.
    if (Has(id, "_L_A") || Has(id, "WALK_L"))
        m.side = m.forward, m.forward = 0;
    if (Has(id, "_R_A") || Has(id, "WALK_R"))
        m.side = -m.forward, m.forward = 0;
    if (Has(id, "_B_A") || Has(id, "WALK_B"))
        m.forward = -m.forward;
    if (Has(id, "TURN_L"))
        m.yaw = 90, m.duration = 0.5f, m.stride = 10;
    if (Has(id, "TURN_R"))
        m.yaw = -90, m.duration = 0.5f, m.stride = 10;
    if (Has(id, "QUICKTURN"))
        m.yaw = 180, m.duration = 0.4f, m.stride = 15;
    if (Has(id, "STOP"))
        m.duration = 0.3f, m.forward = 20.0f, m.stride = 10;
    if (Has(id, "ROLL"))
        m.roll = true, m.duration = 0.8f, m.forward = 200.0f;
    if (Has(id, "DEATH") || Has(id, "HEAD_SHOT") || Has(id, "NEUTRAL_ANM"))
        m.die = true, m.duration = 1.2f;
    if (Has(id, "HIT"))
        m.hit = true, m.duration = 0.5f;
    if (Has(id, "RELOAD"))
        m.reload = true, m.duration = 1.5f;
    if (Has(id, "SHOOT"))
        m.shoot = true, m.duration = 0.25f;
    if (Has(id, "_STR_") || Has(id, "NEUTRAL_KNIF"))
        m.strike = true, m.duration = 0.6f;
    if (Has(id, "CHG"))
        m.change = true, m.duration = 0.6f;
    if (Has(id, "SLOW_A") || Has(id, "FAST_A"))
        m.raise = true, m.duration = Has(id, "SLOW") ? 0.5f : 0.2f;
    if (Has(id, "HELP") || Has(id, "SURPRISE") || Has(id, "ACTION"))
        m.raise = true, m.aim = false, m.duration = 0.8f;
    if (Has(id, "WALL"))
        m.lean = true;
    if (m.ladder)
    {
        m.forward = 0, m.stride = 30, m.arms = 0;
        if (Has(id, "LADDER_UP") || Has(id, "START_UP"))
            m.climb = 100.0f;
        if (Has(id, "LADDER_DOWN") || Has(id, "START_DOWN"))
            m.climb = -100.0f;
        if (Has(id, "STAND"))
            m.climb = 0, m.stride = 0;
    }
    return m;
}

Pose PoseAt(const Motion& m, float s)
{
    Pose p;
    const float cycle = std::sin(2.0f * kPi * s);
    p.root[0] = m.side * s;
    p.root[1] = m.climb * s;
    p.root[2] = m.forward * s;
    // Legs swing in opposition; the lower leg bends on the way back.
    p.turn[kLUpleg][0] = m.stride * cycle;
    p.turn[kRUpleg][0] = -m.stride * cycle;
    p.turn[kLLowleg][0] = m.stride * std::max(0.0f, -cycle);
    p.turn[kRLowleg][0] = m.stride * std::max(0.0f, cycle);
    // The pelvis sinks as the legs spread so that the leading (straight) leg's foot stays on the
    // ground, and the feet stay flat.
    p.pelvis[1] = -kLegLength * (1.0f - std::cos(std::fabs(m.stride * cycle) * kPi / 180.0f));
    p.turn[kLFoot][0] = -(p.turn[kLUpleg][0] + p.turn[kLLowleg][0]);
    p.turn[kRFoot][0] = -(p.turn[kRUpleg][0] + p.turn[kRLowleg][0]);
    // Turns about x are negative forward (the figure faces +z, a bone hangs along -y).
    p.turn[kLUparm][0] = m.arms * -cycle * (m.stride > 0 ? 1.0f : 0.0f);
    p.turn[kRUparm][0] = m.arms * cycle * (m.stride > 0 ? 1.0f : 0.0f);
    p.turn[kTorso][1] = 0;
    // Breathing when still.
    if (m.stride == 0 && m.forward == 0)
        p.turn[kTorso][0] = 2.0f * cycle;
    if (m.aim)
    {
        // Both arms forward at the gun.
        p.turn[kRUparm][0] = -85, p.turn[kLUparm][0] = -80, p.turn[kLUparm][1] = -30;
        p.turn[kLLowarm][0] = -10;
    }
    if (m.shoot)
        p.turn[kTorso][0] = 6.0f * std::sin(kPi * s), p.turn[kRLowarm][0] = -15.0f * std::sin(kPi * s);
    if (m.crouch)
    {
        p.pelvis[1] = -38;
        p.turn[kLUpleg][0] -= 80, p.turn[kRUpleg][0] -= 80;
        p.turn[kLLowleg][0] += 100, p.turn[kRLowleg][0] += 100;
        p.turn[kLFoot][0] = -20, p.turn[kRFoot][0] = -20;
    }
    if (m.reload)
    {
        // The left hand goes to the gun, down, and back.
        p.turn[kLUparm][0] = -60.0f * std::sin(kPi * s);
        p.turn[kLUparm][1] = -40.0f * std::sin(kPi * s);
        p.turn[kRUparm][0] = -40;
        p.turn[kRLowarm][0] = -50;
    }
    if (m.strike)
        p.turn[kRUparm][0] = -120.0f * std::sin(kPi * s), p.turn[kTorso][1] = 30.0f * std::sin(kPi * s);
    if (m.change)
        p.turn[kRUparm][0] = 40.0f * std::sin(kPi * s), p.turn[kRUparm][2] = -30.0f * std::sin(kPi * s);
    if (m.raise)
        p.turn[kRUparm][0] = -85.0f * s, p.turn[kLUparm][0] = -80.0f * s;
    if (m.hit)
        p.turn[kTorso][0] = 20.0f * std::sin(kPi * s), p.turn[kHead][0] = 15.0f * std::sin(kPi * s);
    if (m.lean)
        p.turn[kTorso][2] = 15, p.turn[kRUparm][0] = -60;
    if (m.ladder)
    {
        p.turn[kLUparm][0] = -150.0f + 20.0f * cycle, p.turn[kRUparm][0] = -150.0f - 20.0f * cycle;
        p.turn[kLUpleg][0] = -30.0f - std::fabs(m.stride * cycle), p.turn[kRUpleg][0] = -30.0f - std::fabs(m.stride * cycle);
    }
    if (m.roll)
    {
        // Tucked, turning a whole turn about x around a lowered pelvis.
        p.pelvis[1] = -50.0f * std::sin(kPi * s);
        p.turn[kPelvis][0] = 360.0f * s;
        p.turn[kLUpleg][0] = p.turn[kRUpleg][0] = -90.0f * std::sin(kPi * s);
        p.turn[kLLowleg][0] = p.turn[kRLowleg][0] = 120.0f * std::sin(kPi * s);
    }
    if (m.die)
    {
        // Falls on his back: the pelvis drops and the body turns back flat.
        const float e = std::min(1.0f, s * 1.5f);
        p.pelvis[1] = -80.0f * e;
        p.turn[kPelvis][0] = 90.0f * e;
        p.turn[kLUparm][2] = 60.0f * e, p.turn[kRUparm][2] = -60.0f * e;
    }
    return p;
}

Quat Rotation(const float turn[3])
{
    return Mul(Axis(0, 0, 1, turn[2]), Mul(Axis(0, 1, 0, turn[1]), Axis(1, 0, 0, turn[0])));
}

} // namespace

const std::vector<std::string>& HeroBoneNames()
{
    static const std::vector<std::string> names = []
    {
        std::vector<std::string> n;
        for (const Bone& b : kBones)
            n.push_back(b.name);
        return n;
    }();
    return names;
}

const std::vector<std::string>& HeroAnimationIds()
{
    static const std::vector<std::string> ids = []
    {
        std::set<std::string> unique;
        int32_t count = 0;
        const AnimSetRow* rows = AnimSetRows(&count);
        for (int32_t i = 0; i < count; ++i)
            if (rows[i].kind == kAnimSetKnif || rows[i].kind == kAnimSetM1 || rows[i].kind == kAnimSetP38 ||
                rows[i].kind == kAnimSetMauser)
                unique.insert(rows[i].resourceId);
        return std::vector<std::string>(unique.begin(), unique.end());
    }();
    return ids;
}

std::string HeroSkeletonBytes()
{
    const std::vector<SkeletonProfileRow> profiles = {
        {"HIGH_PART", {"Upper_Torso", "Head", "Left_Uparm", "Left_Lowarm", "Right_Uparm", "Right_Lowarm", "Right_Hand"}},
        {"LOW_PART", {"DummyRootBone", "Pelvis", "Left_Upleg", "Left_Lowleg", "Left_Foot", "Right_Upleg",
                      "Right_Lowleg", "Right_Foot"}},
        {"HEAD", {"Head"}},
        {"RIGHT_ARM", {"Right_Uparm", "Right_Lowarm", "Right_Hand"}},
        {"LEFT_ARM", {"Left_Uparm", "Left_Lowarm"}},
    };
    return ToString(SkeletonWriter::Bytes(HeroBoneNames(), &profiles));
}

std::string HeroModelBytes(const std::string& id)
{
    if (id != kHeroModelId && id != kSoldierModelId)
        return std::string();
    ClumpDescription c;
    c.frames.resize(size_t(kBoneCount) + 1);
    std::vector<HierarchyNodeRow> table;
    for (int32_t b = 0; b < kBoneCount; ++b)
    {
        ClumpDescription::Frame& f = c.frames[size_t(b) + 1];
        f.parent = kBones[b].parent + 1;
        f.rows[9] = kBones[b].offset[0], f.rows[10] = kBones[b].offset[1], f.rows[11] = kBones[b].offset[2];
        table.push_back({b + 1, uint32_t((IsLeaf(b) ? kHierarchyPop : 0) | (HasLaterSibling(b) ? kHierarchyPush : 0))});
    }
    for (int32_t b = 0; b < kBoneCount; ++b)
        c.frames[size_t(b) + 1].extension = b == 0 ? HierarchyWriter::FrameExtension(1, table, 0)
                                                   : HierarchyWriter::FrameExtension(b + 1);

    GeometryDescription d;
    d.format = kGeometryPositions | kGeometryPrelit | kGeometryTextured;
    d.texCoords.resize(1);
    SkinDescription skin;
    skin.boneCount = kBoneCount;
    std::vector<float> positions;
    for (const Box& box : kBody)
    {
        const uint16_t base = uint16_t(positions.size() / 3);
        for (int corner = 0; corner < 8; ++corner)
        {
            positions.push_back(corner & 1 ? box.high[0] : box.low[0]);
            positions.push_back(corner & 2 ? box.high[1] : box.low[1]);
            positions.push_back(corner & 4 ? box.high[2] : box.low[2]);
            // Grey light under the texture: the top corners brighter, so the shape reads
            // without lights.
            const uint8_t light = corner & 2 ? kHeroTopLight : kHeroSideLight;
            d.prelit.push_back({light, light, light, 255});
            // Every corner of a box samples the middle of its colour's patch.
            const int32_t column = box.patch % kPatchColumns, row = box.patch / kPatchColumns;
            d.texCoords[0].push_back((float(column * kPatchWidth) + kPatchWidth * 0.5f) / float(kHeroTextureSide));
            d.texCoords[0].push_back((float(row * kPatchHeight) + kPatchHeight * 0.5f) / float(kHeroTextureSide));
            skin.boneIndices.push_back({uint8_t(box.bone), 0, 0, 0});
            skin.weights.push_back({1, 0, 0, 0});
        }
        // Six faces, wound outwards.
        const uint16_t faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
        for (const auto& q : faces)
        {
            d.triangles.push_back({uint16_t(base + q[0]), uint16_t(base + q[1]), uint16_t(base + q[2]), 0});
            d.triangles.push_back({uint16_t(base + q[0]), uint16_t(base + q[2]), uint16_t(base + q[3]), 0});
        }
    }
    d.numVertices = int32_t(positions.size() / 3);
    d.targets.push_back({{0, 91, 0, 110}, positions, {}});
    GeometryDescription::Material material;
    material.texture = id == kHeroModelId ? kHeroTextureName : kSoldierTextureName;
    d.materials = {material};
    d.listEntries = {0};
    for (int32_t b = 0; b < kBoneCount; ++b)
    {
        const std::array<float, 3> p = RestPosition(b);
        skin.inverseMatrices.push_back({1, 0, 0, 0, 1, 0, 0, 0, 1, -p[0], -p[1], -p[2]});
    }
    d.extension = SkinWriter::Current(skin);
    c.geometries = {d};
    ClumpDescription::Atomic atomic;
    atomic.frame = 1;
    c.atomics.push_back(atomic);
    return ToString(ClumpWriter::Write(c));
}

std::string HeroAnimationBytes(const std::string& id)
{
    const Motion m = MotionOf(id);
    // Sixteen keys a cycle: the swings, the pelvis riding on them and the roll's whole turn.
    constexpr int kKeys = 17;
    std::vector<AnimationKeyRow> rows;
    for (int k = 0; k < kKeys; ++k)
    {
        const float s = float(k) / float(kKeys - 1);
        const Pose p = PoseAt(m, s);
        const Quat yaw = Axis(0, 1, 0, m.yaw * s);
        for (int32_t b = 0; b < kBoneCount; ++b)
        {
            AnimationKeyRow row{};
            row.node = b;
            row.time = m.duration * s;
            const Quat q = b == kRoot ? yaw : Rotation(p.turn[b]);
            for (int i = 0; i < 4; ++i)
                row.rotation[i] = q[size_t(i)];
            for (int i = 0; i < 3; ++i)
                row.translation[i] = kBones[b].offset[i] + (b == kRoot ? p.root[i] : b == kPelvis ? p.pelvis[i] : 0.0f);
            rows.push_back(row);
        }
    }
    return ToString(AnimationWriter::StdAnimation(rows, m.duration));
}

std::string HeroAnimationEvents(const std::string& id)
{
    const Motion m = MotionOf(id);
    // Frames count 60 a second and include both ends, as the event command counts them.
    const int frames = int(m.duration * 60.0f + 1.0f);
    auto line = [frames](const char* event, float s)
    { return std::string("RdAddEvent ") + event + " " + std::to_string(int(std::lround(s * float(frames)))) + "\r\n"; };
    std::string text;
    // The legs swing as sin(2 pi s): the right foot is furthest forward, and lands, at a
    // quarter of the cycle, the left at three quarters.
    if (m.stride > 0 && (m.forward != 0 || m.side != 0) && !m.ladder && !m.roll)
        text += line("EVENTID_RIGHT_FOOT_ON_GROUND", 0.25f) + line("EVENTID_LEFT_FOOT_ON_GROUND", 0.75f);
    if (m.strike)
        text += line("EVENTID_STRIKE", 0.5f);
    return text;
}

std::string HeroTextureBytes(const std::string& name)
{
    const Uniform* uniform = nullptr;
    for (const Uniform& u : kUniforms)
        if (name == u.texture)
            uniform = &u;
    if (!uniform)
        return std::string();
    FontWriterSheet sheet;
    sheet.width = sheet.height = kHeroTextureSide;
    sheet.rgba.assign(size_t(kHeroTextureSide) * kHeroTextureSide * 4, 255);
    for (int32_t y = 0; y < kHeroTextureSide; ++y)
        for (int32_t x = 0; x < kHeroTextureSide; ++x)
        {
            const int32_t patch = (y / kPatchHeight) * kPatchColumns + x / kPatchWidth;
            uint8_t* p = &sheet.rgba[(size_t(y) * kHeroTextureSide + size_t(x)) * 4];
            for (int i = 0; i < 3; ++i)
                p[i] = patch < kPatchCount ? uniform->colours[patch][i] : 255;
        }
    return FontWriter::PngBytes(sheet);
}

// Each weapon script fills its weapon's records: the animation states it plays with the
// animation-set kind of its hold, its data, its shots and its ammunition.
const char kHeroRifleScript[] =
    "# The rifle: held in both hands (animation-set kind 1), eight rounds a clip, on the hero's first\n"
    "# weapon key. A soldier's rifle is the same gun held the soldiers' way (kind 7), on no key.\n"
    "KIND = 1\n"
    "# The animation states the hero's and the soldiers' move skills play.\n"
    "STATES = tuple(range(0, 53)) + tuple(range(62, 72)) + (84,)\n"
    "def Setup(weapon, ammo=40, kind=KIND, key=0):\n"
    "    # The scenario module exists once a level's script host runs.\n"
    "    from scenaric import SetWeaponAnimations, SetWeaponData, SetWeaponShootData, SetAmmoData, SetAmmoNumber\n"
    "    SetWeaponAnimations(weapon, kind, [(s, 0.0, 0.5) for s in STATES])\n"
    "    SetWeaponData(weapon, 'RIFLE', key, kind, 1, 0)\n"
    "    SetWeaponShootData(weapon, 3, 1.0, (), (), (), 0, (0.5, 3.0), 8, 0, 0, 0, 0, 0,\n"
    "                       1.0, 120, 0)\n"
    "    # A round that strikes an actor sends it the hit event (10) with its damage.\n"
    "    SetAmmoData(weapon, 1, None, 0.0, 6000.0, 60, 2.0, 0.0, 1.5, None, 0, None, None, 2, None, None, 10,\n"
    "                0.0, 0.0, 0.0, 0.0, None, None, (1.0, 1.0, 0.0), 80.0, 0.0, 2.0)\n"
    "    SetAmmoNumber(weapon, ammo)\n";

const char kHeroPistolScript[] =
    "# The pistol: held in one hand (animation-set kind 3), seven rounds a clip, on the second key.\n"
    "KIND = 3\n"
    "# The animation states the hero's and the soldiers' move skills play.\n"
    "STATES = tuple(range(0, 53)) + tuple(range(62, 72)) + (84,)\n"
    "def Setup(weapon, ammo=28, kind=KIND, key=1):\n"
    "    # The scenario module exists once a level's script host runs.\n"
    "    from scenaric import SetWeaponAnimations, SetWeaponData, SetWeaponShootData, SetAmmoData, SetAmmoNumber\n"
    "    SetWeaponAnimations(weapon, kind, [(s, 0.0, 0.5) for s in STATES])\n"
    "    SetWeaponData(weapon, 'PISTOL', key, kind, 1, 0)\n"
    "    SetWeaponShootData(weapon, 2, 1.0, (), (), (), 0, (1.0, 4.0), 7, 0, 0, 0, 0, 0,\n"
    "                       1.0, 70, 0)\n"
    "    # A round that strikes an actor sends it the hit event (10) with its damage.\n"
    "    SetAmmoData(weapon, 1, None, 0.0, 4000.0, 35, 2.0, 0.0, 1.0, None, 0, None, None, 1, None, None, 10,\n"
    "                0.0, 0.0, 0.0, 0.0, None, None, (1.0, 1.0, 0.0), 60.0, 0.0, 2.0)\n"
    "    SetAmmoNumber(weapon, ammo)\n";
