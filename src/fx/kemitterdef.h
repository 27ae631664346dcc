// KEmitterDef: one block of an effect script parsed into settings and property tracks, and
// the set-up that turns it into the particle plug-in's emitter and particle classes: which
// properties each record carries, the callbacks, the tank flags and the initial values.
#pragma once

#include "kpropertylayout.h"
#include "ktrack.h"

#include <cstdint>
#include <string>
#include <vector>

class KParser;
struct PrtStdEmitter;
struct PrtStdEmitterClass;
struct PrtStdParticleClass;
struct Texture;

/// The program's own particle callbacks that the built classes carry beside the plug-in's
/// standard ones; a null entry leaves its slot empty.
struct KEmitterCallbackSet
{
    using EmitterFn = PrtStdEmitter* (*)(struct Atomic* atomic, PrtStdEmitter* emitter, void* data);
    using ParticleFn = struct PrtStdBatch* (*)(PrtStdEmitter* emitter, struct PrtStdBatch* batch, void* data);

    EmitterFn emit = nullptr;            ///< emitter slot 0
    EmitterFn update = nullptr;          ///< emitter slot 1: the emitter tracks
    EmitterFn schedule = nullptr;        ///< emitter slot 2: the next emission time
    EmitterFn copyProperties = nullptr;  ///< emitter slot 10
    ParticleFn particleUpdate = nullptr; ///< particle slot 0
};

/// A property of a record: id and size in bytes.
struct KPropertyEntry
{
    int32_t id;
    int32_t size;
    bool operator==(const KPropertyEntry&) const = default;
};

class KEmitterDef
{
public:
    /// Limits that keep a block's budget within what the tank and memory can hold.
    static constexpr int32_t kMaxParticlesLimit = 65536;
    static constexpr int32_t kMaxPriority = 9;
    static constexpr int32_t kMaxPreAlloc = 32;
    /// Sizes of the program's properties that are not track values.
    static constexpr int32_t kTransparencySize = 52;
    static constexpr int32_t kMatrixSize = 64;

    /// Every default; it cannot fail.
    KEmitterDef();
    ~KEmitterDef();
    KEmitterDef(const KEmitterDef&) = delete;
    KEmitterDef& operator=(const KEmitterDef&) = delete;

    /// Parses one block, entered with its "{" current. 1 with "}" current when the block
    /// ended normally, 0 on any error (reported through the parser).
    int32_t Parse(KParser& parser);

    // ---- Class set-up ---------------------------------------------------------------------------

    /// Assigns the property ids, gives both classes their tables and installs the callbacks
    /// (the program's from callbacks, the plug-in's standard ones beside them). False when a
    /// table cannot be made or a class refuses it.
    bool BuildClasses(PrtStdEmitterClass* emitterClass, PrtStdParticleClass* particleClass,
                      const KEmitterCallbackSet& callbacks);
    /// The two lists in record order, after the ids are assigned (BuildClasses does both).
    void AssignIds();
    std::vector<KPropertyEntry> BuildParticleProperties() const;
    std::vector<KPropertyEntry> BuildEmitterProperties() const;
    /// Fills the tank block's flag words and its particle count: the data flags (the tank's
    /// per-particle and constant properties) go where the bound tank's properties are
    /// kept, the emission and update flags in the emit and update masks.
    void SetTankFlags(PrtStdEmitter* emitter, int32_t maxParticles) const;
    /// Resolves the offsets of the emitter's classes into layout and writes every initial
    /// value (the layout pointer first, the tank flags last). The emitter's particle class is
    /// set first (its offsets stay -1 otherwise). The texture gets a reference of the
    /// emitter's own, which the emitter's destroyer releases (the standard destruction
    /// releases only the textures of emitters read from streams).
    void InitEmitter(PrtStdEmitter* emitter, KPropertyLayout* layout) const;

    // ---- Predicates of the set-up ---------------------------------------------------------------

    bool NeedsParticleMatrices() const;
    bool HasConstantParticleMatrix() const;
    bool ParticleColourVaries() const;
    bool ColourChangesDuringLife() const;
    bool PositionChangesDuringLife() const;
    bool SizeVaries() const;
    bool HasRotationPerParticle() const;
    bool HasConstantRotation() const;
    bool NeedsPlacementMatrix() const;
    bool NeedsRpPoint() const;

    /// The texture lookup the "Texture" keyword uses: a new counted reference, or null. The
    /// texture manager's by default.
    using TextureSource = Texture* (*)(const char* id);
    static void SetTextureSource(TextureSource source);

    // ---- Settings -------------------------------------------------------------------------------

    int32_t batchSize = 100;
    int32_t cullMode = 1;
    int32_t srcBlend = 5;
    int32_t dstBlend = 6;
    int32_t transparency = 1;
    int32_t ghostMode = 0;
    /// A counted reference, released with the definition.
    Texture* texture = nullptr;
    std::string textureName;
    int32_t texturePerspective = 1;
    int32_t zTest = 1;
    int32_t zWrite = 0;
    int32_t group = 2;
    int32_t maxParticles = 500;
    float particleLife = 1.0f;
    float particleLifeBias = 0.0f;
    float startTime = 0.0f;
    float endTime = -1.0f;
    float quadCentre[2] = {0, 0};
    int32_t priority = 0;
    int32_t preAlloc = 0;
    int32_t forceUpdate = 0;
    int32_t orientationMode = 0;
    float texRect[4] = {0, 0, 1, 1};
    int32_t fixedLife = 1;

    KEmitterSection emitterSection;
    KParticleSection particleSection;
    FxFrameSectionParser frameSection;

    // ---- Assigned ids ---------------------------------------------------------------------------

    /// By track number: the first emitter and particle id of the track's block.
    int32_t emitterIdBase[KTrackNumber::kCount] = {};
    int32_t particleIdBase[KTrackNumber::kCount] = {};
    int32_t definitionEmitterIdBase = 0;
    int32_t definitionParticleId = 0;

private:
    /// Runs one keyword's handler on the value token; 0 fails the block.
    int32_t RunKeyword(int32_t keyword, KParser& parser);
};

/// The word of a value of a word keyword ("CullMode", "SrcBlend", "DstBlend", "Group",
/// "OrientationMode"; any other keyword takes the boolean words); "" for none.
const char* KDefinitionWord(const char* keyword, int32_t value);

/// Integer conversion of definition values: leading blanks, a sign, decimal digits; anything
/// else ends the number, no digits give 0, and values beyond 32 bits saturate.
int32_t KAtoI(const char* text);
