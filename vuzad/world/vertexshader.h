// Generated vertex shaders: the 4-byte descriptor, the register record, the text generator
// and its 256-entry cache, and the per-draw constant services the generated shaders read.
#pragma once

#include "d3d9.h"

#include <cstdint>
#include <string>

struct InstanceHeader;
struct InstanceMesh;
struct Matrix;
struct Vector;

/// What a generated shader must do. The cache key is the four bytes read as one
/// little-endian word (byte 0 lowest).
struct VertexShaderDescriptor
{
    /// Low nibble: directional lights; high nibble: point lights.
    uint8_t lights;
    /// Low nibble: spot lights (hard and soft); high nibble: texture-coordinate sets.
    uint8_t spotsAndSets;
    /// kVsMorph, bones per vertex in bits 1-3, kVsPrelit, kVsNormals, kVsNormalise, kVsMaterialColour.
    uint8_t flags;
    /// Bits 0-1: fog type (0 none, 1 linear, 2 exponential, 3 exponential squared); bits 2-7: effect kind.
    uint8_t fogAndEffect;

    uint32_t Key() const { return lights | uint32_t(spotsAndSets) << 8 | uint32_t(flags) << 16 | uint32_t(fogAndEffect) << 24; }
    int32_t Directional() const { return lights & 0xF; }
    int32_t Points() const { return lights >> 4; }
    int32_t Spots() const { return spotsAndSets & 0xF; }
    int32_t TextureSets() const { return spotsAndSets >> 4; }
    int32_t Bones() const { return (flags >> 1) & 7; }
    int32_t Fog() const { return fogAndEffect & 3; }
    int32_t EffectKind() const { return fogAndEffect >> 2; }
};

constexpr uint8_t kVsMorph = 0x01;
constexpr uint8_t kVsPrelit = 0x10;
constexpr uint8_t kVsNormals = 0x20;
constexpr uint8_t kVsNormalise = 0x40;
constexpr uint8_t kVsMaterialColour = 0x80;

constexpr uint8_t kVsNoRegister = 0xFF;

/// Where the constants a generated shader reads beyond the fixed layout (c0-c3 world-view-
/// projection, c4 ambient, lights from c5) sit; kVsNoRegister until allocated.
struct VertexShaderRegisters
{
    uint8_t materialColour;
    uint8_t fog;
    uint8_t effect; ///< first of the effect constants
    uint8_t morph;
    uint8_t bones; ///< first of the bone matrices, three registers each
    uint8_t pad[3] = {kVsNoRegister, kVsNoRegister, kVsNoRegister};
};

/// Shader model codes the generator writes for.
constexpr int32_t kVsModelNone = 0;
constexpr int32_t kVsModel11 = 10;
constexpr int32_t kVsModel20 = 20;
constexpr int32_t kVsModel2x = 25;

/// A light as a gathering writes it into the constant block.
struct VertexShaderLight
{
    int32_t type;           ///< kVsLight*
    float red, green, blue;
    const Matrix* frame;    ///< world matrix of the light's frame: "at" is its direction
    float radius;
    float coneCosine;       ///< spot lights: cosine of the cone angle
};

constexpr int32_t kVsLightPoint = 0x80;
constexpr int32_t kVsLightDirectional = 0x01;
constexpr int32_t kVsLightAmbient = 0x02;
constexpr int32_t kVsLightSpot = 0x81;
constexpr int32_t kVsLightSoftSpot = 0x82;

/// The lights one gathering meets: the ambient sum and at most 15 of each other kind, the
/// first met kept.
struct VertexShaderLightSet
{
    static constexpr int32_t kMaxPerKind = 15;

    float ambient[3] = {0, 0, 0};
    int32_t numDirectional = 0, numPoints = 0, numSpots = 0;
    const VertexShaderLight* directional[kMaxPerKind] = {};
    const VertexShaderLight* points[kMaxPerKind] = {};
    const VertexShaderLight* spots[kMaxPerKind] = {};

    /// Ambient lights add their colour; false when the light's kind is full or unknown.
    bool Add(const VertexShaderLight* light);
    bool Empty() const { return numDirectional + numPoints + numSpots == 0; }
    /// Writes c4 (alpha 1, or 0 for prelit vertices, whose alpha comes from the vertex),
    /// then the directional, point and spot blocks in object space of the current world
    /// matrix, and sets the descriptor's light counts (the texture-set count stays). The
    /// register just past the last one written.
    float (*Write(float (*block)[4], VertexShaderDescriptor* descriptor, bool prelit) const)[4];
};

struct VertexShader
{
    // ---- Generation -------------------------------------------------------------------------

    /// Allocates the registers, writes the text, assembles it and creates the device shader.
    /// Null when the device has no vertex shaders, when the descriptor cannot be laid out
    /// (bones above 4, an effect kind that reads the normal without normals, effect
    /// constants that would overlap the bones or leave the constant file; error
    /// kErrBadArgument), or when assembly or creation fails (no error).
    static IDirect3DVertexShader9* Generate(const VertexShaderDescriptor* descriptor, VertexShaderRegisters* registers);
    /// The allocation and the text alone: 1 with the text, or 0 (no text) for the same
    /// refusals as Generate.
    static int32_t GenerateText(const VertexShaderDescriptor* descriptor, VertexShaderRegisters* registers,
                                std::string* text);
    /// Registers from c0 up to the last the lights, material colour, fog, morph and effect
    /// need (bones excluded); a fog register counts even where W fog needs none.
    static int32_t CountConstants(const VertexShaderDescriptor* descriptor);

    // ---- Lights -----------------------------------------------------------------------------

    /// object is an Atomic for objectType 1, else a WorldSector. Sets the descriptor's light
    /// counts (the texture-set count stays) and writes c4 and the lights that touch the
    /// object, at most 15 of each kind, through VertexShaderLightSet::Write. Without the
    /// light flag or a current world only the ambient register. The register just past the
    /// last one written.
    static float (*GatherLights(void* object, int32_t objectType, float (*block)[4],
                                VertexShaderDescriptor* descriptor))[4];

    // ---- World matrix and object space ----------------------------------------------------

    /// matrix becomes the current world matrix (null: the identity); the cached inverse and
    /// normal matrix are forgotten. The matrix must outlive its use.
    static void SetWorldMatrix(const Matrix* matrix);
    /// Forgets the view-projection product; the device's camera begin-update calls it.
    static void ForgetViewProjection();
    /// The transposed world-view-projection, ready for c0-c3 (16 floats, rows).
    static void GetWorldViewProjection(float* out16);
    /// The inverse of the world matrix (16 floats); the identity without one.
    static void UpdateInverseWorldMatrix(float* out16);
    /// A world direction in object space (the orthonormalised inverse).
    static void DirectionToObjectSpace(Vector* out, const Vector* direction);
    /// A world point in object space.
    static void PointToObjectSpace(Vector* out, const Vector* point);
    /// A world radius in object space.
    static float RadiusToObjectSpace(float radius);

    // ---- Uploads (each returns the device's result) -----------------------------------------

    /// Scales the ambient colour by ambient and every light colour by light (red, green and
    /// blue), then uploads c4 and every light register the descriptor uses.
    static HRESULT ScaleLightColors(float (*block)[4], const VertexShaderDescriptor* descriptor, float ambient,
                                    float light);
    /// The colour over 255 into the record's material-colour register.
    static HRESULT SetColorConstant(const uint8_t* rgba, const VertexShaderRegisters* registers);
    /// The fog constants at the record's fog register: linear {-1/(far-fog), far/(far-fog),
    /// 0, 1} from the current camera, exponential {density x 1.442695, 0, 0, 1}. D3D_OK and
    /// nothing sent for fog type 0 or with W fog; linear fog with equal planes sends a step
    /// at the far plane instead of dividing by zero.
    static HRESULT SetFogConstants(const VertexShaderDescriptor* descriptor, const VertexShaderRegisters* registers);

    // ---- Drawing ----------------------------------------------------------------------------

    /// Draws one mesh of instance data with the mesh's vertex shader: no pixel shader, the
    /// material's texture (or none) on stage 0 modulated by the diffuse colour, the states
    /// flushed, then an indexed draw when the header has an index buffer. The caller has set
    /// the streams, the declaration and the constants.
    static void DrawMesh(const InstanceHeader* header, const InstanceMesh* mesh);
};

/// Generated shaders by descriptor: 256 entries sorted by key, the oldest-stamped one
/// evicted when full. Lives from the world pipelines' open to their close.
struct VertexShaderCache
{
    static constexpr int32_t kSize = 256;

    /// Empties the cache and reads the device: shader model, W fog, the constant count
    /// clamped to 256; on a 1.x device clears the normalised 8- and 16-bit declaration
    /// types from the device's capability record so the vertex writers never choose them.
    static void Open();
    /// Releases every cached shader and empties the cache.
    static void Close();
    /// The shader for the descriptor, with its register record; generated and inserted on
    /// a miss. A failed generation is cached as null.
    static IDirect3DVertexShader9* Find(const VertexShaderDescriptor* descriptor, VertexShaderRegisters* registers);
    /// The pipeline callback form of Find; object is ignored.
    static IDirect3DVertexShader9* Lookup(void* object, const VertexShaderDescriptor* descriptor,
                                          VertexShaderRegisters* registers);

    /// What Open reads from the capability record; caps may be changed as Open says.
    static void ReadCaps(D3DCAPS9* caps);
    static int32_t GetShaderModel();
    static int32_t GetConstantCount();
    static bool HasWFog();

    /// Entries cached, and the key of entry index (array order).
    static int32_t GetCount();
    static uint32_t GetKey(int32_t index);
};
