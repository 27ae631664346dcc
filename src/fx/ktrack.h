// Property tracks of an emitter block: keyframed named values of a fixed type with their
// options and biases, the shape, RP and constraint records, and the three sections ("EMT",
// "PRT", "FRAME") that group them, with the text grammar of each.
#pragma once

#include "kparser.h"
#include "quat.h"

#include <cstdint>
#include <vector>

// ---- Track numbers: one per track and sub-track, the layout's slot index --------------------

namespace KTrackNumber
{
constexpr int32_t kPrtSize = 1;
constexpr int32_t kPrtSizeBias = 2;
constexpr int32_t kPrtSizeBiasScale = 3;
constexpr int32_t kEmtSize = 4;
constexpr int32_t kPrtColor = 5;
constexpr int32_t kPrtColorBias = 6;
constexpr int32_t kPrtColorBiasScale = 7;
constexpr int32_t kEmtColor = 8;
constexpr int32_t kPrtAlpha = 9;
constexpr int32_t kPrtAlphaBias = 10;
constexpr int32_t kEmtAlpha = 11;
constexpr int32_t kPrtRot2d = 12;
constexpr int32_t kPrtRot2dBias = 13;
constexpr int32_t kEmtRot2d = 14;
constexpr int32_t kPrtPosition = 15;
constexpr int32_t kPrtPositionBias = 16;
constexpr int32_t kInitVel = 17;
constexpr int32_t kInitDir = 18;
constexpr int32_t kForce = 19;
constexpr int32_t kEmtPosition = 20;
constexpr int32_t kOrientation = 21;
constexpr int32_t kGap = 22;
constexpr int32_t kEmit = 23;
constexpr int32_t kShape = 24;
constexpr int32_t kRp = 25;
constexpr int32_t kConstraints = 26;
/// Numbers run 1 to 26; index 0 is unused.
constexpr int32_t kCount = 27;
} // namespace KTrackNumber

enum KTrackType : int32_t
{
    kTrackScalar = 1,
    kTrackVec2 = 2,
    kTrackVec3 = 3,
    kTrackOrientation = 4,
};

enum KIMode : int32_t
{
    kIModeFollow = 0,
    kIModeConstant = 1,
    kIModeLinear = 2,
};

enum KLMode : int32_t
{
    kLModeClamp = 0,
    kLModeRepeat = 1,
};

enum KTMode : int32_t
{
    kTModeNominal = 0,
    kTModeReal = 1,
};

struct KTrackOptions
{
    int32_t lMode = kLModeClamp;
    int32_t iMode = kIModeFollow;
    int32_t tMode = kTModeNominal;
    float animSpeed = 1.0f;
    float animAcceleration = 0.0f;
};

/// A value track: a constant value of its type and keyframes in the order written. Keys are
/// stored as the evaluators read them: time, value, slope (per component) for the linear
/// types; time and a unit quaternion for orientations.
class KTrack
{
public:
    KTrack(const char* name, int32_t id, int32_t number, KTrackType type, float x = 0, float y = 0, float z = 0);

    /// Floats per key: 3, 5, 7, or 5 for an orientation.
    int32_t KeyFloats() const { return type == kTrackOrientation ? 5 : 1 + 2 * int32_t(type); }
    /// Floats of one value: 1, 2, 3, or 4 (a quaternion).
    int32_t ValueFloats() const { return type == kTrackOrientation ? 4 : int32_t(type); }
    int32_t KeyCount() const { return int32_t(keys.size()) / KeyFloats(); }
    bool HasKeys() const { return !keys.empty(); }
    bool IsLinear() const { return options.iMode == kIModeLinear; }
    /// Every component of the constant value is 0.
    bool IsZero() const;
    /// As a bias or bias scale: a non-zero value or linear keys.
    bool IsUsed() const { return !IsZero() || IsLinear(); }

    /// Appends a key and sets the slope of the key before it. With equal times that slope is
    /// 0, so the later key rules from that time on.
    void AppendKey(float time, const float* value);

    // ---- Grammar: 0 success, 2 failure ----------------------------------------------------

    /// The body of a value block, entered on its first token, ending on "}".
    int32_t ParseBody(KParser& parser);
    /// An emitter-section track, entered on its name: "{ ... }", "VALUE { ... }",
    /// "BIAS { ... }"; another sub-block name ends the track at once.
    int32_t ParseEmitter(KParser& parser);
    /// A particle-section value track: the track, "BIAS" or (SIZE and COLOR) "BIASSCALE".
    int32_t ParseParticle(KParser& parser);

    const char* name;
    int32_t id;
    int32_t number;
    KTrackType type;
    float value[4] = {0, 0, 0, 0};
    /// An emitter track's constant bias.
    float bias[4] = {0, 0, 0, 0};
    std::vector<float> keys;
    KTrackOptions options;
    /// Particle tracks: the bias and bias-scale sub-tracks (null when the track has none).
    KTrack* biasTrack = nullptr;
    KTrack* biasScaleTrack = nullptr;
    /// Particle tracks that also exist in the emitter section: that track.
    KTrack* emitterTrack = nullptr;

private:
    /// One component selector of the track's type into value: as the value readers.
    int32_t ReadComponent(KParser& parser, float* destination, KOrientationReader& reader);
    /// Components until "}" (no options, no keys) into destination, from zero.
    int32_t ParseComponentBlock(KParser& parser, float* destination);
    std::string Selectors() const;

    KOrientationReader mReader;
};

// ---- Records -----------------------------------------------------------------------------------

enum KShapeKind : int32_t
{
    kShapeNone = 0,
    kShapeSphere = 1,
    kShapeCylinder,
    kShapeTorus,
    kShapeFilledCube,
    kShapeCube,
    kShapeLine,
    kShapeDisc,
    kShapeCircle,
    kShapeRectangle,
    kShapeFilledRectangle,
    kShapeKindCount = 11,
};

/// The selected kind (0 none) and one parameter track per kind, all kept.
struct KShape
{
    KShape();
    /// Entered on "SHAPE": the kind word, then its parameter track's sub-block.
    int32_t Parse(KParser& parser);
    /// The selected kind's parameter track, or null.
    KTrack* Selected() { return kind ? &parameters[kind - 1] : nullptr; }
    const KTrack* Selected() const { return kind ? &parameters[kind - 1] : nullptr; }

    int32_t kind = kShapeNone;
    std::vector<KTrack> parameters;
};

enum KRpMode : int32_t
{
    kRpWorldOriented = 0,
    kRpSelfOriented = 1,
    kRpSpeedOriented = 2,
};

struct KRp
{
    /// Entered on "RP".
    int32_t Parse(KParser& parser);
    bool HasBias() const;

    int32_t mode = kRpWorldOriented;
    float axis[3] = {0, 1, 0};
    float angle = 0;
    float biasAxis[3] = {0, 0, 0};
    float biasAngle = 0;
};

struct KConstraints
{
    /// Entered on "CONSTRAINTS".
    int32_t Parse(KParser& parser);
    bool HasUp() const { return up[0] != 0 || up[1] != 0 || up[2] != 0; }
    bool HasRight() const { return right[0] != 0 || right[1] != 0 || right[2] != 0; }
    bool HasUpBias() const { return upBias[0] != 0 || upBias[1] != 0 || upBias[2] != 0; }
    bool HasRightBias() const { return rightBias[0] != 0 || rightBias[1] != 0 || rightBias[2] != 0; }
    bool IsSet() const
    {
        return HasUp() || HasRight() || HasUpBias() || HasRightBias() || upFollowsSpeed || sizeYFollowsSpeed;
    }

    float up[3] = {0, 0, 0};
    float right[3] = {0, 0, 0};
    float upBias[3] = {0, 0, 0};
    float rightBias[3] = {0, 0, 0};
    bool upFollowsSpeed = false;
    bool sizeYFollowsSpeed = false;
    float sizeYFactor = 0;
};

// ---- Sections ----------------------------------------------------------------------------------

/// "EMT": what the emitter evaluates for itself.
struct KEmitterSection
{
    KEmitterSection();
    /// Entered on the section name; 1 success, 0 failure.
    int32_t Parse(KParser& parser);
    /// Every value track of the section, the shape's parameter tracks excluded.
    std::vector<KTrack*> Tracks();
    std::vector<const KTrack*> Tracks() const;

    KTrack size, color, alpha, rot2d, initVel, initDir, force, position, orientation, gap, emit;
    KShape shape;
};

/// "PRT": what every particle evaluates for itself.
struct KParticleSection
{
    explicit KParticleSection(KEmitterSection& emitter);
    KParticleSection(const KParticleSection&) = delete;
    KParticleSection& operator=(const KParticleSection&) = delete;
    /// Entered on the section name; 1 success, 0 failure.
    int32_t Parse(KParser& parser);
    /// The five value tracks (SIZE, COLOR, ALPHA, ROT2D, POSITION).
    std::vector<KTrack*> Tracks();
    std::vector<const KTrack*> Tracks() const;

    KTrack size, sizeBias, sizeBiasScale;
    KTrack color, colorBias, colorBiasScale;
    KTrack alpha, alphaBias;
    KTrack rot2d, rot2dBias;
    KTrack position, positionBias;
    KRp rp;
    KConstraints constraints;
};

/// "FRAME": the frame of four vector quantities.
struct FxFrameSectionParser
{
    enum Quantity : int32_t
    {
        kPosition = 0,
        kSpeed = 1,
        kForce = 2,
        kBbAxis = 3,
        kQuantityCount = 4,
    };
    enum Frame : int32_t
    {
        kWorld = 0,
        kEmitter = 1,
    };

    /// Entered on the section name; 1 success, 0 failure.
    int32_t Parse(KParser& parser);

    int32_t frames[kQuantityCount] = {kWorld, kEmitter, kWorld, kWorld};
};

/// Words of the track options and the selectors, for the script writer.
const KWord* KOptionWords(const char* option, int32_t& count);
const char* KShapeKindWord(int32_t kind);
const char* KRpModeWord(int32_t mode);
const char* KFrameQuantityWord(int32_t quantity);
