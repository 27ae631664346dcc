// Drawing internals of our Direct3D 9 layer: vertex layouts from declarations and FVF codes, the fixed-function
// program key and its generated GLSL, the uniform block, and the pipeline that applies device state to OpenGL
// through a shadow of OpenGL state. Private to platform/d3d9.
#pragma once

#include "d3d9objects_local.h"

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace d3d9
{

// ---- Vertex layouts -------------------------------------------------------------------------------------------

/// Attribute locations of the generated programs, one per vertex input meaning.
enum Attribute : uint8_t
{
    AttrPosition = 0,
    AttrBlendWeight = 1,
    AttrBlendIndices = 2,
    AttrNormal = 3,
    AttrPointSize = 4,
    AttrDiffuse = 5,
    AttrSpecular = 6,
    AttrTexCoord0 = 7,
    /// Inputs only vertex shaders read (the fixed-function programs have no use for them).
    AttrTangent = AttrTexCoord0 + 8,
    AttrPosition1,
    AttrNormal1,
    AttrCount,
};

/// The attribute a declaration usage and usage index feed; -1 when drawing has no place for it.
int attributeForUsage(BYTE usage, BYTE usageIndex);

struct LayoutElement
{
    uint16_t stream = 0;
    uint16_t offset = 0;
    uint8_t type = 0; ///< D3DDECLTYPE
    uint8_t attribute = 0;
};

/// A declaration reduced to what drawing needs: one element per attribute location.
struct VertexLayout
{
    std::array<LayoutElement, AttrCount> elements{};
    uint8_t count = 0;
    bool pretransformed = false;
    /// Components each attribute delivers (0 when the declaration has none).
    std::array<uint8_t, AttrCount> components{};
    uint16_t streamMask = 0;
    /// Bytes one vertex of each stream takes up to its last element's end.
    std::array<uint32_t, 16> streamExtent{};
};

/// Components, bytes and how OpenGL reads one declaration type.
struct DeclTypeInfo
{
    uint8_t components;
    uint8_t bytes;
    uint32_t glType;
    int32_t glSize; ///< components, or GL_BGRA for D3DCOLOR
    bool normalized;
};
const DeclTypeInfo& declType(BYTE type);

/// Fills the layout from elements ending with the end marker; false when there is no position.
bool buildLayout(const D3DVERTEXELEMENT9* elements, VertexLayout& out);
/// The declaration an FVF code stands for (end marker included) and its stride; false for a code without a
/// position or with bits the platform does not define.
bool fvfToElements(DWORD fvf, std::vector<D3DVERTEXELEMENT9>& out, UINT* stride);

// ---- Fixed-function program key -------------------------------------------------------------------------------

struct StageKey
{
    uint8_t colorOp, colorArg0, colorArg1, colorArg2;
    uint8_t alphaOp, alphaArg0, alphaArg1, alphaArg2;
    uint8_t resultTemp;
    uint8_t texture; ///< 0 none, 1 2D, 2 cube
    uint8_t texCoordIndex;
    uint8_t texGen; ///< D3DTSS_TCI_* >> 16
    uint8_t transformCount;
    uint8_t projected;
};

/// Everything in the stored state that changes the generated code. States that only change numbers are in the
/// uniform block. The shader pair is where programmable stages will name their shaders.
struct ProgramKey
{
    uint64_t vertexShader;
    uint64_t pixelShader;
    uint8_t pretransformed;
    uint8_t components[AttrCount];
    uint8_t lighting;
    uint8_t lightCount;
    uint8_t lightTypes[8];
    uint8_t colorVertex;
    uint8_t materialSource[4]; ///< diffuse, specular, ambient, emissive
    uint8_t specular;
    uint8_t localViewer;
    uint8_t normalize;
    uint8_t blendWeights; ///< matrices blended minus one (0 = no blending)
    uint8_t indexedBlend;
    uint8_t fog;
    uint8_t fogVertexMode;
    uint8_t fogTableMode;
    uint8_t rangeFog;
    uint8_t flat;
    uint8_t pointScale;
    uint8_t pointSprite;
    uint8_t pointList;
    uint8_t clipPlanes;
    uint8_t alphaFunc; ///< 0 when the alpha test is off
    uint8_t stageCount;
    uint8_t pad[2];
    StageKey stages[8];

    bool operator==(const ProgramKey& other) const;
};

struct ProgramKeyHash
{
    size_t operator()(const ProgramKey& key) const;
};

/// GLSL sources for a key. With a pixel shader, `pixelShaderBody` (statements computing `current`) takes the
/// place of the texture stages and the specular add.
std::string vertexSource(const ProgramKey& key);
std::string fragmentSource(const ProgramKey& key, const std::string* pixelShaderBody = nullptr);

// ---- Uniform block --------------------------------------------------------------------------------------------

constexpr int kMaxLights = 8;
constexpr int kBlendMatrices = 8;

/// The std140 block every generated program reads (vec4 and mat4 only, so C++ and GLSL agree on the layout).
struct FixedUniforms
{
    float worldView[kBlendMatrices][16];
    float normalMatrix[kBlendMatrices][16];
    float projection[16];
    float texture[8][16];
    float clipPlane[kMaxClipPlanes][4];
    float materialDiffuse[4], materialAmbient[4], materialSpecular[4], materialEmissive[4];
    float materialPower[4];
    float ambient[4];
    float lightDiffuse[kMaxLights][4];
    float lightSpecular[kMaxLights][4];
    float lightAmbient[kMaxLights][4];
    float lightPosition[kMaxLights][4];
    float lightDirection[kMaxLights][4];
    float lightAttenuation[kMaxLights][4]; ///< range, a0, a1, a2
    float lightSpot[kMaxLights][4];        ///< cos(theta/2), cos(phi/2), falloff
    float fogColor[4];
    float fog[4]; ///< start, end, density, 1 when table fog uses eye depth
    float textureFactor[4];
    float stageConstant[8][4];
    float bumpMatrix[8][4];
    float bumpLuminance[8][4];
    float alphaRef[4];
    float point[4];      ///< size, min, max, viewport height
    float pointScale[4]; ///< A, B, C
    float viewport[4];   ///< x, y, width, height
};

/// GLSL declaration of the block, matching FixedUniforms.
extern const char* const kUniformBlockGlsl;

// ---- The pipeline ---------------------------------------------------------------------------------------------

/// Where one stream's vertices come from for a draw.
/// A draw fills only the streams its layout reads.
struct StreamSource
{
    uint32_t glBuffer; ///< buffer to read, or 0 when bytes are copied into the ring
    uint64_t base;     ///< byte offset of the draw's first vertex in glBuffer or the ring
    UINT stride;
};

struct DrawRequest
{
    D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
    UINT vertexCount = 0; ///< vertices (non-indexed) or indices (indexed) OpenGL draws
    bool indexed = false;
    bool index32 = false;
    uint32_t indexBuffer = 0; ///< OpenGL buffer of the indices, or the ring
    uint64_t indexOffset = 0;
    int baseVertex = 0; ///< added to each index
    /// The indices lie in [lowest, highest] (checked); OpenGL is told so and reads only those vertices.
    UINT lowest = 0;
    UINT highest = 0;
    /// Only the streams of the layout's stream mask are set and read: a draw clears none of the others.
    std::array<StreamSource, kMaxStreams> streams;
};

struct GlShadow;
struct Program;

/// One vertex attribute as OpenGL is told it.
struct AttributeState
{
    bool enabled = false;
    uint32_t buffer = 0;
    int32_t size = 0;
    uint32_t type = 0;
    bool normalized = false;
    int32_t stride = 0;
    uint64_t offset = 0;
    bool operator==(const AttributeState&) const = default;
};

// ---- Capture of a frame's draws (benchmark reference) -----------------------------------------------------------

/// The OpenGL state one draw ran with and its draw call, as the pipeline sent them.
struct CapturedDraw
{
    uint32_t program = 0;
    std::array<uint32_t, 8> textures{};
    std::array<uint32_t, 8> textureTargets{};
    std::array<uint32_t, 8> samplers{};
    std::array<int32_t, 4> viewport{};
    bool depthTest = false, depthMask = false, blend = false, cull = false;
    uint32_t depthFunc = 0, cullFace = 0, colourMask = 0;
    std::array<uint32_t, 4> blendFunc{};
    std::array<uint32_t, 2> blendEquation{};
    std::array<AttributeState, 16> attributes{};
    uint32_t elementBuffer = 0;
    uint32_t mode = 0;
    uint32_t count = 0;
    bool indexed = false, index32 = false;
    uint32_t lowest = 0, highest = 0;
    uint64_t indexOffset = 0;
    int32_t baseVertex = 0;
    int32_t pixelConstants = -1;
    std::array<float, 32> psConstants{};
    bool vsConstants = false;
    uint32_t uniformBegin = 0, uniformEnd = 0; ///< bytes of the block that differ from the draw before
};

/// Everything captured between the test hooks' begin and end, with the uniform blocks each draw read.
struct CaptureSink
{
    std::vector<CapturedDraw> draws;
    std::vector<FixedUniforms> uniforms;
    std::vector<std::array<float, kShaderConstantsF * 4>> vsConstants;
    uint32_t ubo = 0;   ///< the replay's own blocks, made on its first run
    uint32_t vsUbo = 0;
    bool complete = true; ///< false when state the replay does not send changed within the frame
};

class Pipeline
{
public:
    explicit Pipeline(Device& device);
    ~Pipeline();

    /// The layout of the current declaration or FVF; null when neither is set or it has no position.
    const VertexLayout* currentLayout();
    /// Makes room for `bytes` of streaming in one draw, so that no copy of the draw orphans an earlier one.
    void reserve(uint64_t bytes);
    /// Copies bytes into the streaming ring (after reserve); the offset they landed at.
    uint64_t stream(const void* data, size_t bytes);
    uint32_t ringBuffer() const { return mRing; }
    /// Applies state and draws; the request's sources are ready. False when no program could be built.
    bool draw(const VertexLayout& layout, const DrawRequest& request);
    /// OpenGL state changed behind the shadow (transfers, presents, context switches).
    void invalidate();
    /// Programs built so far.
    size_t programCount() const { return mPrograms.size(); }
    /// Draws are recorded into the sink while one is set (null stops).
    void setCapture(CaptureSink* sink) { mCapture = sink; }
    CaptureSink* capture() const { return mCapture; }
    /// Sends the captured draws straight to OpenGL after a full-target clear, each state only when it differs
    /// from the draw before; the shadow is invalid afterwards.
    void replay(CaptureSink& capture, const float clearColour[4], float clearDepth);

private:
    Program* program(const VertexLayout& layout, D3DPRIMITIVETYPE type);
    void buildKey(const VertexLayout& layout, D3DPRIMITIVETYPE type, ProgramKey& key);
    void applyTargets();
    void applyRasterState();
    void applyTextures(const ProgramKey& key);
    void applyUniforms(const ProgramKey& key);
    void applyVertexInput(const VertexLayout& layout, const DrawRequest& request, const Program& program);
    void applyShaderConstants(const ProgramKey& key, Program& program);
    void capture(const DrawRequest& request, const Program& program, const VertexLayout& layout);

    Device& mDevice;
    std::unique_ptr<GlShadow> mShadow;
    uint32_t mVao = 0;
    uint32_t mFbo = 0;
    uint32_t mUbo = 0;
    uint32_t mVsConstantUbo = 0;
    bool mVsConstantsUploaded = false;
    uint32_t mRing = 0;
    uint64_t mRingSize = 0;
    uint64_t mRingHead = 0;
    std::array<uint32_t, 8> mSamplers{};
    std::unordered_map<ProgramKey, std::unique_ptr<Program>, ProgramKeyHash> mPrograms;
    std::unordered_map<DWORD, VertexLayout> mFvfLayouts;
    ProgramKey mLastKey{};
    Program* mLastProgram = nullptr;
    ProgramKey mPreviousKey{};
    Program* mPreviousProgram = nullptr;
    const VertexLayout* mLastLayout = nullptr;
    bool mLastPoints = false;
    bool mUploadedValid = false;
    uint32_t mNormalStale = 0xFF; ///< normal matrices older than their world-view products
    bool mClipStale = true;       ///< clip planes older than the view or the planes
    uint8_t mUniformLights = 0;   ///< lights the block was last filled with
    const VertexLayout* mInputLayout = nullptr; ///< what the attributes were last set from
    const Program* mInputProgram = nullptr;
    std::array<StreamSource, kMaxStreams> mInputStreams{};
    /// The attributes the last full pass set: where each reads in its stream.
    struct InputAttribute
    {
        uint8_t location;
        uint8_t stream;
        uint16_t offset;
    };
    std::array<InputAttribute, AttrCount> mInputs{};
    uint32_t mInputCount = 0;
    uint32_t mEnabledAttributes = 0; ///< vertex inputs enabled in OpenGL, one bit per location
    std::unique_ptr<FixedUniforms> mUniforms;
    std::unique_ptr<FixedUniforms> mUploaded;
    bool mMirrorOnce = false;
    bool mAnisotropy = false;
    CaptureSink* mCapture = nullptr;
};

} // namespace d3d9
