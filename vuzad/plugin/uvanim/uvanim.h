// The UV-animation plug-in: its attach, its engine open and close, the dictionary schema of UV
// animations, and the material extension that plays up to eight UV animations and builds the
// two texture-coordinate matrices they drive.
#pragma once

#include <cstdint>

struct Animation;
struct AnimInterpolator;
struct Dictionary;
struct DictionarySchema;
struct Material;
struct Matrix;
struct Stream;

constexpr int32_t kUVAnimMaxInterpolators = 8;
constexpr int32_t kUVAnimChannels = 2;

/// The material extension: up to eight playing UV animations and the two channel matrices
/// they drive; all null for a material without UV animation. A channel matrix exists only
/// while some node of a playing animation maps to it.
struct UVAnimMaterialExtension
{
    AnimInterpolator* interpolators[kUVAnimMaxInterpolators];
    Matrix* channels[kUVAnimChannels];
};

/// Where the channel matrices go after an update: the material's UV-transform effect. The
/// material-effects plug-in installs it; without one the matrices are only kept.
struct UVAnimTransformTarget
{
    /// 1 when the material carries a UV-transform effect slot; a material without one is
    /// not updated at all.
    int32_t (*hasUVTransform)(const Material* material);
    /// The matrices for the first and second texture; either may be null (untransformed).
    void (*setMatrices)(Material* material, Matrix* first, Matrix* second);
};

struct UVAnim
{
    static constexpr int32_t kPluginId = 309;
    static constexpr uint32_t kDictionaryChunk = 43;
    static constexpr uint32_t kStreamVersion = 0x36003;

    /// Registers the engine plug-in (no block), the material extension and its stream
    /// callbacks; only between Engine::Init and Engine::Open. 1, or 0 when a registration
    /// was refused.
    static int32_t Attach();
    /// Engine open and close (Engine::Start and Engine::Stop); they count nested opens. The
    /// first open opens the dictionary schema (null when it cannot) and registers the two
    /// keyframe schemes; the last close closes the schema.
    static void* EngineOpen(void* engine, int32_t offset, int32_t size);
    static void* EngineClose(void* engine, int32_t offset, int32_t size);
    static int32_t GetOpenCount();
    /// -1 before Attach.
    static int32_t GetMaterialOffset();
    /// Null for none (the default).
    static void SetTransformTarget(const UVAnimTransformTarget* target);

    // ---- The dictionary of UV animations ------------------------------------------------

    /// The "UVAnim" schema; its dictionaries exist between the first open and the last close.
    static DictionarySchema* GetDictionarySchema();
    /// Where material streams look names up; null when none.
    static Dictionary* GetCurrentDictionary();
    static void SetCurrentDictionary(Dictionary* dictionary);
    /// A dictionary chunk body of bodySize bytes (its header just read) in the UV schema;
    /// null when it does not read or the plug-in is not open.
    static Dictionary* ReadDictionary(Stream* stream, uint32_t bodySize);
    /// The first animation of the name in the dictionary, or null.
    static Animation* FindAnimation(const Dictionary* dictionary, const char* name);

    // ---- UV animations --------------------------------------------------------------------

    static void AddRefAnimation(Animation* animation);
    /// Drops one reference; the last destroys the animation. 1.
    static int32_t ReleaseAnimation(Animation* animation);
    /// The animation's reference count; 0 for an animation of another scheme.
    static int32_t GetRefCount(const Animation* animation);
    /// An identity animation of the matrix scheme, one node on channel 0, 2 keyframes, duration
    /// 1, reference count 1, named (at most 32 characters kept). Null when it cannot be made.
    static Animation* CreateDummyAnimation(const char* name);
    /// Fills keyframe (an animation keyframe of animation) from the matrix in the animation's
    /// scheme, with its previous keyframe and time. 0.
    static int32_t KeyFrameFromMatrix(Animation* animation, void* keyFrame, void* previous, float time,
                                      const Matrix* matrix);

    // ---- Material extension callbacks -----------------------------------------------------

    static void* MaterialConstructor(void* material, int32_t offset, int32_t size);
    static void* MaterialDestructor(void* material, int32_t offset, int32_t size);
    static void* MaterialCopy(void* destination, const void* source, int32_t offset, int32_t size);
    static Stream* MaterialStreamRead(Stream* stream, int32_t length, void* material, int32_t offset, int32_t size);
    static Stream* MaterialStreamWrite(Stream* stream, int32_t length, const void* material, int32_t offset,
                                       int32_t size);
    static int32_t MaterialStreamGetSize(const void* material, int32_t offset, int32_t size);
};

/// A material's UV animations.
struct UVAnimMaterial
{
    /// Null before Attach.
    static UVAnimMaterialExtension* GetExtension(const Material* material);
    /// Advances every playing animation by step seconds. The material.
    static Material* AddUVAnimTime(Material* material, float step);
    /// Rebuilds the channel matrices from the playing animations (each node's matrix applied
    /// before what the channel already holds) and hands them to the transform target. Skipped
    /// when the target says the material has no UV-transform slot. Allocates nothing. The
    /// material.
    static Material* UpdateUVAnim(Material* material);
    /// 1 when any interpolator slot is occupied.
    static int32_t HasUVAnim(const Material* material);
    /// Channel 0 or 1, null when no playing node maps to it.
    static const Matrix* GetChannelMatrix(const Material* material, int32_t channel);
};
