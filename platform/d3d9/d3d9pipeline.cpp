// The draw-time half of our Direct3D 9 layer: the program cache keyed by fixed-function state, the uniform
// block, samplers, targets and raster state, all applied from the device's dirty bits through a shadow of
// OpenGL state so that only what changed reaches OpenGL.
#define GL_GLEXT_PROTOTYPES 1
#include "d3d9pipeline_local.h"
#include "d3d9shadertranslate_local.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>

namespace d3d9
{

struct Program
{
    GLuint program = 0;
    /// The attribute location each vertex input feeds, -1 when the program reads none: the input's own number
    /// for fixed-function programs, the v register a vertex shader declared for it otherwise.
    std::array<int8_t, AttrCount> location{};
    GLint pixelConstants = -1; ///< uPsConst, when a pixel shader is translated
    uint64_t psConstSerial = 0; ///< the device's pixel-constant serial this program was last sent
};

namespace
{

constexpr GLenum kMirrorClampToEdge = 0x8743;
constexpr GLenum kMaxAnisotropy = 0x84FE;
constexpr GLuint kScratchUnit = 15; ///< transfers bind their textures here, never on a unit a draw samples
constexpr uint64_t kRingStart = 4u << 20;

float floatOf(DWORD bits)
{
    float value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

void colour(D3DCOLOR argb, float out[4])
{
    colourToFloats(argb, out);
}

void copy4(const D3DCOLORVALUE& c, float out[4])
{
    out[0] = c.r;
    out[1] = c.g;
    out[2] = c.b;
    out[3] = c.a;
}

/// Row-vector product a x b of the platform's matrices.
D3DMATRIX multiply(const D3DMATRIX& a, const D3DMATRIX& b)
{
    D3DMATRIX out{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out.m[r][c] = a.m[r][0] * b.m[0][c] + a.m[r][1] * b.m[1][c] + a.m[r][2] * b.m[2][c] + a.m[r][3] * b.m[3][c];
    return out;
}

bool invert(const D3DMATRIX& in, D3DMATRIX& out)
{
    const float* m = &in.m[0][0];
    float inv[16];
    inv[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] + m[9] * m[7] * m[14] +
             m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
    inv[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] - m[8] * m[7] * m[14] -
             m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
    inv[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] + m[8] * m[7] * m[13] +
             m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
    inv[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] - m[8] * m[6] * m[13] -
              m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
    inv[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] - m[9] * m[3] * m[14] -
             m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
    inv[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] + m[8] * m[3] * m[14] +
             m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
    inv[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] - m[8] * m[3] * m[13] -
             m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
    inv[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] + m[8] * m[2] * m[13] +
              m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
    inv[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] + m[5] * m[3] * m[14] +
             m[13] * m[2] * m[7] - m[13] * m[3] * m[6];
    inv[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] - m[4] * m[3] * m[14] -
             m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
    inv[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] + m[4] * m[3] * m[13] +
              m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
    inv[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] - m[4] * m[2] * m[13] -
              m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
    inv[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] - m[5] * m[3] * m[10] -
             m[9] * m[2] * m[7] + m[9] * m[3] * m[6];
    inv[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] + m[4] * m[3] * m[10] +
             m[8] * m[2] * m[7] - m[8] * m[3] * m[6];
    inv[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] - m[4] * m[3] * m[9] -
              m[8] * m[1] * m[7] + m[8] * m[3] * m[5];
    inv[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] + m[4] * m[2] * m[9] +
              m[8] * m[1] * m[6] - m[8] * m[2] * m[5];
    float det = m[0] * inv[0] + m[1] * inv[4] + m[2] * inv[8] + m[3] * inv[12];
    if (det == 0.0f)
        return false;
    for (int i = 0; i < 16; ++i)
        (&out.m[0][0])[i] = inv[i] / det;
    return true;
}

/// Transforms a row vector by a matrix.
void transformRow(const float v[4], const D3DMATRIX& m, float out[4])
{
    for (int c = 0; c < 4; ++c)
        out[c] = v[0] * m.m[0][c] + v[1] * m.m[1][c] + v[2] * m.m[2][c] + v[3] * m.m[3][c];
}

void normalise3(float v[4])
{
    float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length > 0.0f)
        for (int i = 0; i < 3; ++i)
            v[i] /= length;
}

GLenum compareFunc(DWORD func)
{
    return func >= D3DCMP_NEVER && func <= D3DCMP_ALWAYS ? GL_NEVER + (func - D3DCMP_NEVER) : GL_ALWAYS;
}

GLenum blendFactor(DWORD blend)
{
    switch (blend)
    {
    case D3DBLEND_ZERO:
        return GL_ZERO;
    case D3DBLEND_ONE:
        return GL_ONE;
    case D3DBLEND_SRCCOLOR:
        return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR:
        return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA:
        return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA:
        return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA:
        return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA:
        return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR:
        return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR:
        return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT:
        return GL_SRC_ALPHA_SATURATE;
    case D3DBLEND_BLENDFACTOR:
        return GL_CONSTANT_COLOR;
    case D3DBLEND_INVBLENDFACTOR:
        return GL_ONE_MINUS_CONSTANT_COLOR;
    default:
        return GL_ONE;
    }
}

/// Source and destination factors; the BOTH* values set both sides from the source state.
void blendPair(DWORD source, DWORD dest, GLenum& glSource, GLenum& glDest)
{
    if (source == D3DBLEND_BOTHSRCALPHA)
    {
        glSource = GL_SRC_ALPHA;
        glDest = GL_ONE_MINUS_SRC_ALPHA;
        return;
    }
    if (source == D3DBLEND_BOTHINVSRCALPHA)
    {
        glSource = GL_ONE_MINUS_SRC_ALPHA;
        glDest = GL_SRC_ALPHA;
        return;
    }
    glSource = blendFactor(source);
    glDest = blendFactor(dest);
}

GLenum blendOp(DWORD op)
{
    switch (op)
    {
    case D3DBLENDOP_SUBTRACT:
        return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT:
        return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN:
        return GL_MIN;
    case D3DBLENDOP_MAX:
        return GL_MAX;
    default:
        return GL_FUNC_ADD;
    }
}

GLenum stencilOp(DWORD op)
{
    switch (op)
    {
    case D3DSTENCILOP_ZERO:
        return GL_ZERO;
    case D3DSTENCILOP_REPLACE:
        return GL_REPLACE;
    case D3DSTENCILOP_INCRSAT:
        return GL_INCR;
    case D3DSTENCILOP_DECRSAT:
        return GL_DECR;
    case D3DSTENCILOP_INVERT:
        return GL_INVERT;
    case D3DSTENCILOP_INCR:
        return GL_INCR_WRAP;
    case D3DSTENCILOP_DECR:
        return GL_DECR_WRAP;
    default:
        return GL_KEEP;
    }
}

GLenum primitiveMode(D3DPRIMITIVETYPE type)
{
    switch (type)
    {
    case D3DPT_POINTLIST:
        return GL_POINTS;
    case D3DPT_LINELIST:
        return GL_LINES;
    case D3DPT_LINESTRIP:
        return GL_LINE_STRIP;
    case D3DPT_TRIANGLESTRIP:
        return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN:
        return GL_TRIANGLE_FAN;
    default:
        return GL_TRIANGLES;
    }
}

GLenum addressMode(DWORD mode, bool mirrorOnce)
{
    switch (mode)
    {
    case D3DTADDRESS_MIRROR:
        return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP:
        return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER:
        return GL_CLAMP_TO_BORDER;
    case D3DTADDRESS_MIRRORONCE:
        return mirrorOnce ? kMirrorClampToEdge : GL_MIRRORED_REPEAT;
    default:
        return GL_REPEAT;
    }
}

bool debugOn()
{
    static const bool on = std::getenv("HB_D3D9_DEBUG") != nullptr;
    return on;
}

GLuint compile(GLenum stage, const std::string& source)
{
    GLuint shader = glCreateShader(stage);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok)
    {
        // Never silent: the draws that need this program fail, and this says why (once, as the failed program
        // is kept in the cache); the text itself only when debugging.
        char log[4096] = {};
        glGetShaderInfoLog(shader, sizeof(log), nullptr, log);
        std::fprintf(stderr, "d3d9: a generated %s shader does not compile: %s\n",
                     stage == GL_VERTEX_SHADER ? "vertex" : "fragment", log);
        if (debugOn())
            std::fprintf(stderr, "%s\n", text);
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

} // namespace

// ---- The shadow of OpenGL state -------------------------------------------------------------------------------

struct SamplerState
{
    std::array<DWORD, D3D9_SAMPLERSTATE_COUNT> states{};
    bool valid = false;
};

struct GlShadow
{
    bool valid = false;
    GLuint program = 0;
    GLuint framebuffer = 0;
    std::array<GlImage, kMaxRenderTargets> colour{};
    GlImage depth{};
    bool depthStencil = false;
    std::array<GLint, 4> viewport{};
    std::array<float, 2> depthRange{};
    bool scissorTest = false;
    std::array<GLint, 4> scissor{};
    bool blend = false;
    std::array<GLenum, 4> blendFunc{};
    std::array<GLenum, 2> blendEquation{};
    D3DCOLOR blendColour = 0;
    bool depthTest = false;
    GLenum depthFunc = 0;
    bool depthMask = false;
    bool stencilTest = false;
    std::array<DWORD, 12> stencil{};
    GLuint stencilWriteMask = 0;
    bool cull = false;
    GLenum cullFace = 0;
    std::array<DWORD, kMaxRenderTargets> colourMask{};
    GLenum polygonMode = 0;
    bool polygonOffset = false;
    std::array<float, 2> offset{};
    uint32_t clipDistances = 0;
    bool programPointSize = false;
    std::array<GLuint, 8> textures{};
    std::array<GLenum, 8> textureTargets{};
    std::array<GLuint, 8> samplers{};
    GLuint arrayBuffer = 0;
    GLuint elementBuffer = 0;
    std::array<AttributeState, AttrCount> attributes{};
    std::array<SamplerState, 8> samplerStates{};
};

namespace
{

/// True when the value differs from the shadow (or the shadow is not trusted), storing it.
template <class T> bool changed(const GlShadow& shadow, T& cached, const T& value)
{
    if (shadow.valid && cached == value)
        return false;
    cached = value;
    return true;
}

bool sameImage(const GlImage& a, const GlImage& b)
{
    return a.texture == b.texture && a.target == b.target && a.level == b.level;
}

} // namespace

// ---- Set-up ---------------------------------------------------------------------------------------------------

Pipeline::Pipeline(Device& device)
    : mDevice(device), mShadow(std::make_unique<GlShadow>()), mUniforms(std::make_unique<FixedUniforms>()),
      mUploaded(std::make_unique<FixedUniforms>())
{
    glGenVertexArrays(1, &mVao);
    glGenFramebuffers(1, &mFbo);
    glGenBuffers(1, &mUbo);
    glBindBuffer(GL_UNIFORM_BUFFER, mUbo);
    glBufferData(GL_UNIFORM_BUFFER, sizeof(FixedUniforms), nullptr, GL_DYNAMIC_DRAW);
    glBindBufferBase(GL_UNIFORM_BUFFER, 0, mUbo);
    glGenBuffers(1, &mVsConstantUbo);
    glBindBuffer(GL_UNIFORM_BUFFER, mVsConstantUbo);
    glBufferData(GL_UNIFORM_BUFFER, kShaderConstantsF * 16, nullptr, GL_DYNAMIC_DRAW);
    glBindBufferBase(GL_UNIFORM_BUFFER, 1, mVsConstantUbo);
    glGenBuffers(1, &mRing);
    mRingSize = kRingStart;
    glBindBuffer(GL_COPY_WRITE_BUFFER, mRing);
    glBufferData(GL_COPY_WRITE_BUFFER, GLsizeiptr(mRingSize), nullptr, GL_STREAM_DRAW);
    glGenSamplers(8, mSamplers.data());
    mMirrorOnce = SDL_GL_ExtensionSupported("GL_ARB_texture_mirror_clamp_to_edge") ||
                  SDL_GL_ExtensionSupported("GL_EXT_texture_mirror_clamp");
    mAnisotropy = SDL_GL_ExtensionSupported("GL_EXT_texture_filter_anisotropic") ||
                  SDL_GL_ExtensionSupported("GL_ARB_texture_filter_anisotropic");
    std::memset(mUploaded.get(), 0, sizeof(FixedUniforms));
    std::memset(&mLastKey, 0, sizeof(mLastKey));
}

Pipeline::~Pipeline()
{
    for (auto& entry : mPrograms)
        glDeleteProgram(entry.second->program);
    glDeleteSamplers(8, mSamplers.data());
    glDeleteBuffers(1, &mRing);
    glDeleteBuffers(1, &mUbo);
    glDeleteBuffers(1, &mVsConstantUbo);
    glDeleteFramebuffers(1, &mFbo);
    glDeleteVertexArrays(1, &mVao);
}

void Pipeline::invalidate()
{
    mShadow->valid = false;
    for (SamplerState& sampler : mShadow->samplerStates)
        sampler.valid = false;
}

const VertexLayout* Pipeline::currentLayout()
{
    if (mDevice.mDeclaration)
        return mDevice.mDeclaration->mLayout.get();
    if (mDevice.mFvf == 0)
        return nullptr;
    auto found = mFvfLayouts.find(mDevice.mFvf);
    if (found == mFvfLayouts.end())
    {
        // Each FVF code becomes a layout once.
        std::vector<D3DVERTEXELEMENT9> elements;
        UINT stride = 0;
        VertexLayout layout;
        if (!fvfToElements(mDevice.mFvf, elements, &stride) || !buildLayout(elements.data(), layout))
            return nullptr;
        found = mFvfLayouts.emplace(mDevice.mFvf, layout).first;
    }
    return &found->second;
}

void Pipeline::reserve(uint64_t bytes)
{
    uint64_t need = bytes + 16 * (kMaxStreams + 2);
    if (((mRingHead + 15) & ~uint64_t(15)) + need <= mRingSize)
        return;
    // Orphan: draws still reading the old storage keep it; a larger request grows the ring.
    while (need > mRingSize)
        mRingSize *= 2;
    glBindBuffer(GL_COPY_WRITE_BUFFER, mRing);
    glBufferData(GL_COPY_WRITE_BUFFER, GLsizeiptr(mRingSize), nullptr, GL_STREAM_DRAW);
    mRingHead = 0;
}

uint64_t Pipeline::stream(const void* data, size_t bytes)
{
    uint64_t aligned = (mRingHead + 15) & ~uint64_t(15);
    glBindBuffer(GL_COPY_WRITE_BUFFER, mRing);
    if (aligned + bytes > mRingSize)
    {
        while (bytes > mRingSize)
            mRingSize *= 2;
        glBufferData(GL_COPY_WRITE_BUFFER, GLsizeiptr(mRingSize), nullptr, GL_STREAM_DRAW);
        aligned = 0;
    }
    glBufferSubData(GL_COPY_WRITE_BUFFER, GLintptr(aligned), GLsizeiptr(bytes), data);
    mRingHead = aligned + bytes;
    return aligned;
}

// ---- Programs -------------------------------------------------------------------------------------------------

void Pipeline::buildKey(const VertexLayout& layout, D3DPRIMITIVETYPE type, ProgramKey& key)
{
    std::memset(&key, 0, sizeof(key));
    const auto& rs = mDevice.mRenderStates;
    key.pretransformed = layout.pretransformed;
    for (int i = 0; i < AttrCount; ++i)
        key.components[i] = layout.components[size_t(i)];
    key.pointList = type == D3DPT_POINTLIST;
    key.pointSprite = key.pointList && rs[D3DRS_POINTSPRITEENABLE];
    key.pointScale = key.pointList && rs[D3DRS_POINTSCALEENABLE];
    key.flat = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
    key.specular = rs[D3DRS_SPECULARENABLE] != 0;
    if (!layout.pretransformed)
    {
        key.lighting = rs[D3DRS_LIGHTING] != 0;
        if (key.lighting)
        {
            for (const auto& entry : mDevice.mLights)
                if (entry.second.enabled && key.lightCount < kMaxLights)
                    key.lightTypes[key.lightCount++] = uint8_t(entry.second.light.Type);
            key.colorVertex = rs[D3DRS_COLORVERTEX] != 0;
            key.materialSource[0] = uint8_t(rs[D3DRS_DIFFUSEMATERIALSOURCE] & 3);
            key.materialSource[1] = uint8_t(rs[D3DRS_SPECULARMATERIALSOURCE] & 3);
            key.materialSource[2] = uint8_t(rs[D3DRS_AMBIENTMATERIALSOURCE] & 3);
            key.materialSource[3] = uint8_t(rs[D3DRS_EMISSIVEMATERIALSOURCE] & 3);
            key.localViewer = rs[D3DRS_LOCALVIEWER] != 0;
        }
        key.normalize = rs[D3DRS_NORMALIZENORMALS] != 0;
        DWORD blend = rs[D3DRS_VERTEXBLEND];
        if (blend >= D3DVBF_1WEIGHTS && blend <= D3DVBF_3WEIGHTS && layout.components[AttrBlendWeight])
            key.blendWeights = uint8_t(std::min<DWORD>(blend, layout.components[AttrBlendWeight]));
        key.indexedBlend = key.blendWeights && rs[D3DRS_INDEXEDVERTEXBLENDENABLE] &&
                           layout.components[AttrBlendIndices];
        key.clipPlanes = uint8_t(rs[D3DRS_CLIPPLANEENABLE] & 0x3F);
        key.rangeFog = rs[D3DRS_RANGEFOGENABLE] != 0;
    }
    key.fog = rs[D3DRS_FOGENABLE] != 0;
    if (key.fog)
    {
        key.fogTableMode = uint8_t(rs[D3DRS_FOGTABLEMODE] & 3);
        key.fogVertexMode = uint8_t(rs[D3DRS_FOGVERTEXMODE] & 3);
    }
    key.alphaFunc = rs[D3DRS_ALPHATESTENABLE] ? uint8_t(rs[D3DRS_ALPHAFUNC]) : 0;

    for (int stage = 0; stage < int(D3D9_MAX_TEXTURE_STAGES); ++stage)
    {
        const auto& ts = mDevice.mStageStates[size_t(stage)];
        if (ts[D3DTSS_COLOROP] == D3DTOP_DISABLE || ts[D3DTSS_COLOROP] > D3DTOP_LERP || ts[D3DTSS_COLOROP] == 0)
            break;
        StageKey& st = key.stages[stage];
        st.colorOp = uint8_t(ts[D3DTSS_COLOROP]);
        st.colorArg0 = uint8_t(ts[D3DTSS_COLORARG0]);
        st.colorArg1 = uint8_t(ts[D3DTSS_COLORARG1]);
        st.colorArg2 = uint8_t(ts[D3DTSS_COLORARG2]);
        st.alphaOp = uint8_t(ts[D3DTSS_ALPHAOP] <= D3DTOP_LERP ? ts[D3DTSS_ALPHAOP] : D3DTOP_DISABLE);
        st.alphaArg0 = uint8_t(ts[D3DTSS_ALPHAARG0]);
        st.alphaArg1 = uint8_t(ts[D3DTSS_ALPHAARG1]);
        st.alphaArg2 = uint8_t(ts[D3DTSS_ALPHAARG2]);
        st.resultTemp = (ts[D3DTSS_RESULTARG] & D3DTA_SELECTMASK) == D3DTA_TEMP;
        if (TextureStore* store = textureStore(mDevice.mTextures[size_t(stage)]); store && store->mGlTexture)
            st.texture = store->mFaces == 6 ? 2 : 1;
        st.texCoordIndex = uint8_t(ts[D3DTSS_TEXCOORDINDEX] & 7);
        st.texGen = uint8_t((ts[D3DTSS_TEXCOORDINDEX] >> 16) & 7);
        DWORD flags = ts[D3DTSS_TEXTURETRANSFORMFLAGS];
        st.transformCount = uint8_t(std::min<DWORD>(flags & 0xFF, 4));
        st.projected = (flags & D3DTTFF_PROJECTED) != 0;
        key.stageCount = uint8_t(stage + 1);
    }

    key.vertexShader = mDevice.mVertexShader ? mDevice.mVertexShader->mSerial : 0;
    key.pixelShader = mDevice.mPixelShader ? mDevice.mPixelShader->mSerial : 0;
    if (key.pixelShader)
    {
        // A pixel shader replaces the stage operations: its four texture stages count whatever their
        // operations, and the stages keep their coordinate set-up for fixed-function vertex processing.
        for (int stage = key.stageCount; stage < 4; ++stage)
        {
            const auto& ts = mDevice.mStageStates[size_t(stage)];
            StageKey& st = key.stages[stage];
            st = StageKey{};
            st.colorOp = D3DTOP_SELECTARG1;
            st.alphaOp = D3DTOP_SELECTARG1;
            st.texCoordIndex = uint8_t(ts[D3DTSS_TEXCOORDINDEX] & 7);
            st.texGen = uint8_t((ts[D3DTSS_TEXCOORDINDEX] >> 16) & 7);
            DWORD flags = ts[D3DTSS_TEXTURETRANSFORMFLAGS];
            st.transformCount = uint8_t(std::min<DWORD>(flags & 0xFF, 4));
            st.projected = (flags & D3DTTFF_PROJECTED) != 0;
        }
        key.stageCount = std::max<uint8_t>(key.stageCount, 4);
        for (int stage = 0; stage < 4; ++stage)
        {
            key.stages[stage].texture = 0;
            if (TextureStore* store = textureStore(mDevice.mTextures[size_t(stage)]); store && store->mGlTexture)
                key.stages[stage].texture = store->mFaces == 6 ? 2 : 1;
        }
    }
}

Program* Pipeline::program(const VertexLayout& layout, D3DPRIMITIVETYPE type)
{
    constexpr uint32_t keyGroups = DirtyRenderState | DirtyStageState | DirtyLighting | DirtyTextures |
                                   DirtyDeclaration | DirtyShaders;
    bool points = type == D3DPT_POINTLIST;
    if (mLastProgram && !(mDevice.mDirty & keyGroups) && &layout == mLastLayout && points == mLastPoints)
        return mLastProgram;
    ProgramKey key;
    buildKey(layout, type, key);
    mLastLayout = &layout;
    mLastPoints = points;
    if (mLastProgram && key == mLastKey)
        return mLastProgram;
    // Scenes alternate between a few set-ups (world and objects): the one before last is tried before the cache.
    if (mPreviousProgram && key == mPreviousKey)
    {
        std::swap(mPreviousKey, mLastKey);
        std::swap(mPreviousProgram, mLastProgram);
        return mLastProgram;
    }
    auto found = mPrograms.find(key);
    if (found == mPrograms.end())
    {
        trace("BuildProgram");
        auto built = std::make_unique<Program>();
        built->location.fill(-1);
        std::string vertexText, fragmentText;
        if (key.vertexShader)
        {
            DecodedShader shader;
            std::string reason;
            const std::vector<DWORD>& tokens = mDevice.mVertexShader->mTokens;
            if (decodeShader(tokens.data(), tokens.size(), false, shader, reason))
            {
                uint16_t wOne = 0;
                for (int v = 0; v < 16; ++v)
                {
                    int attribute = shader.inputUsage[size_t(v)] == 0xFF
                                        ? -1
                                        : attributeForUsage(shader.inputUsage[size_t(v)], shader.inputUsageIndex[size_t(v)]);
                    if (attribute >= 0)
                        built->location[size_t(attribute)] = int8_t(v);
                    if (attribute >= 0 && key.components[attribute] == 3)
                        wOne = uint16_t(wOne | (1u << v));
                }
                vertexText = vertexShaderGlsl(shader, kUniformBlockGlsl, key.flat != 0, wOne);
            }
        }
        else
        {
            vertexText = vertexSource(key);
            for (int i = 0; i < AttrTangent; ++i)
                built->location[size_t(i)] = int8_t(i);
        }
        if (key.pixelShader)
        {
            DecodedShader shader;
            std::string reason;
            const std::vector<DWORD>& tokens = mDevice.mPixelShader->mTokens;
            uint8_t kinds[8] = {};
            for (int stage = 0; stage < 8; ++stage)
                kinds[stage] = key.stages[stage].texture;
            if (decodeShader(tokens.data(), tokens.size(), true, shader, reason))
            {
                std::string body = pixelShaderGlsl(shader, kinds);
                fragmentText = fragmentSource(key, &body);
            }
        }
        else
            fragmentText = fragmentSource(key);
        GLuint vs = vertexText.empty() ? 0 : compile(GL_VERTEX_SHADER, vertexText);
        GLuint fs = fragmentText.empty() ? 0 : compile(GL_FRAGMENT_SHADER, fragmentText);
        if (vs && fs)
        {
            built->program = glCreateProgram();
            glAttachShader(built->program, vs);
            glAttachShader(built->program, fs);
            glLinkProgram(built->program);
            GLint ok = 0;
            glGetProgramiv(built->program, GL_LINK_STATUS, &ok);
            if (!ok)
            {
                glDeleteProgram(built->program);
                built->program = 0;
            }
        }
        glDeleteShader(vs);
        glDeleteShader(fs);
        if (built->program)
        {
            GLuint block = glGetUniformBlockIndex(built->program, "Fixed");
            if (block != GL_INVALID_INDEX)
                glUniformBlockBinding(built->program, block, 0);
            GLuint constants = glGetUniformBlockIndex(built->program, "VsConstants");
            if (constants != GL_INVALID_INDEX)
                glUniformBlockBinding(built->program, constants, 1);
            built->pixelConstants = glGetUniformLocation(built->program, "uPsConst");
            glUseProgram(built->program);
            mShadow->program = built->program;
            for (int stage = 0; stage < 8; ++stage)
            {
                std::string name = "uSampler" + std::to_string(stage);
                GLint location = glGetUniformLocation(built->program, name.c_str());
                if (location >= 0)
                    glUniform1i(location, stage);
            }
        }
        found = mPrograms.emplace(key, std::move(built)).first;
    }
    if (mLastProgram)
    {
        mPreviousKey = mLastKey;
        mPreviousProgram = mLastProgram;
    }
    mLastKey = key;
    mLastProgram = found->second.get();
    return mLastProgram;
}

// ---- State --------------------------------------------------------------------------------------------------------

void Pipeline::applyTargets()
{
    GlShadow& shadow = *mShadow;
    if (changed(shadow, shadow.framebuffer, mFbo))
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, mFbo);
    int count = 0;
    for (UINT i = 0; i < kMaxRenderTargets; ++i)
    {
        Surface* target = mDevice.mRenderTargets[i];
        GlImage image = target ? target->mGl : GlImage{};
        if (!shadow.valid || !sameImage(shadow.colour[i], image))
        {
            glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i,
                                   image.texture ? image.target : GL_TEXTURE_2D, image.texture, image.level);
            shadow.colour[i] = image;
            GLenum buffers[kMaxRenderTargets];
            for (UINT k = 0; k < kMaxRenderTargets; ++k)
                buffers[k] = mDevice.mRenderTargets[k] ? GL_COLOR_ATTACHMENT0 + k : GL_NONE;
            glDrawBuffers(kMaxRenderTargets, buffers);
        }
        if (target)
            count = int(i) + 1;
    }
    Surface* depth = mDevice.mDepthStencil;
    GlImage image = depth ? depth->mGl : GlImage{};
    bool stencil = depth && depth->mFormat->stencil;
    if (!shadow.valid || !sameImage(shadow.depth, image) || shadow.depthStencil != stencil)
    {
        glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_TEXTURE_2D, 0, 0);
        if (image.texture)
            glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                                   image.target, image.texture, image.level);
        shadow.depth = image;
        shadow.depthStencil = stencil;
    }
    (void)count;
}

void Pipeline::applyRasterState()
{
    GlShadow& shadow = *mShadow;
    const auto& rs = mDevice.mRenderStates;
    const D3DVIEWPORT9& vp = mDevice.mViewport;

    if (changed(shadow, shadow.viewport, {GLint(vp.X), GLint(vp.Y), GLint(vp.Width), GLint(vp.Height)}))
        glViewport(GLint(vp.X), GLint(vp.Y), GLsizei(vp.Width), GLsizei(vp.Height));
    if (changed(shadow, shadow.depthRange, {vp.MinZ, vp.MaxZ}))
        glDepthRange(vp.MinZ, vp.MaxZ);
    bool scissor = rs[D3DRS_SCISSORTESTENABLE] != 0;
    if (changed(shadow, shadow.scissorTest, scissor))
        scissor ? glEnable(GL_SCISSOR_TEST) : glDisable(GL_SCISSOR_TEST);
    const RECT& r = mDevice.mScissor;
    if (scissor && changed(shadow, shadow.scissor,
                           {GLint(r.left), GLint(r.top), GLint(std::max<LONG>(r.right - r.left, 0)),
                            GLint(std::max<LONG>(r.bottom - r.top, 0))}))
        glScissor(shadow.scissor[0], shadow.scissor[1], shadow.scissor[2], shadow.scissor[3]);

    Surface* depthSurface = mDevice.mDepthStencil;
    bool depthTest = depthSurface && rs[D3DRS_ZENABLE] != D3DZB_FALSE;
    if (changed(shadow, shadow.depthTest, depthTest))
    {
        trace("glDepthTest", depthTest);
        depthTest ? glEnable(GL_DEPTH_TEST) : glDisable(GL_DEPTH_TEST);
    }
    if (changed(shadow, shadow.depthFunc, compareFunc(rs[D3DRS_ZFUNC])))
    {
        trace("glDepthFunc", shadow.depthFunc);
        glDepthFunc(shadow.depthFunc);
    }
    if (changed(shadow, shadow.depthMask, rs[D3DRS_ZWRITEENABLE] != 0))
        glDepthMask(shadow.depthMask ? GL_TRUE : GL_FALSE);

    bool blend = rs[D3DRS_ALPHABLENDENABLE] != 0;
    if (changed(shadow, shadow.blend, blend))
        blend ? glEnable(GL_BLEND) : glDisable(GL_BLEND);
    if (blend)
    {
        std::array<GLenum, 4> funcs{};
        blendPair(rs[D3DRS_SRCBLEND], rs[D3DRS_DESTBLEND], funcs[0], funcs[1]);
        std::array<GLenum, 2> equations{blendOp(rs[D3DRS_BLENDOP]), blendOp(rs[D3DRS_BLENDOP])};
        if (rs[D3DRS_SEPARATEALPHABLENDENABLE])
        {
            blendPair(rs[D3DRS_SRCBLENDALPHA], rs[D3DRS_DESTBLENDALPHA], funcs[2], funcs[3]);
            equations[1] = blendOp(rs[D3DRS_BLENDOPALPHA]);
        }
        else
        {
            funcs[2] = funcs[0];
            funcs[3] = funcs[1];
        }
        if (changed(shadow, shadow.blendFunc, funcs))
        {
            trace("glBlendFunc", funcs[0], funcs[1]);
            glBlendFuncSeparate(funcs[0], funcs[1], funcs[2], funcs[3]);
        }
        if (changed(shadow, shadow.blendEquation, equations))
            glBlendEquationSeparate(equations[0], equations[1]);
        if (changed(shadow, shadow.blendColour, D3DCOLOR(rs[D3DRS_BLENDFACTOR])))
        {
            float c[4];
            colour(shadow.blendColour, c);
            glBlendColor(c[0], c[1], c[2], c[3]);
        }
    }

    bool stencil = depthSurface && depthSurface->mFormat->stencil && rs[D3DRS_STENCILENABLE];
    if (changed(shadow, shadow.stencilTest, stencil))
        stencil ? glEnable(GL_STENCIL_TEST) : glDisable(GL_STENCIL_TEST);
    if (stencil)
    {
        // Counter-clockwise faces of the platform are OpenGL's back faces (see the cull mode below).
        bool twoSided = rs[D3DRS_TWOSIDEDSTENCILMODE] != 0;
        DWORD backFunc = twoSided ? rs[D3DRS_CCW_STENCILFUNC] : rs[D3DRS_STENCILFUNC];
        DWORD backFail = twoSided ? rs[D3DRS_CCW_STENCILFAIL] : rs[D3DRS_STENCILFAIL];
        DWORD backZFail = twoSided ? rs[D3DRS_CCW_STENCILZFAIL] : rs[D3DRS_STENCILZFAIL];
        DWORD backPass = twoSided ? rs[D3DRS_CCW_STENCILPASS] : rs[D3DRS_STENCILPASS];
        std::array<DWORD, 12> values{rs[D3DRS_STENCILFUNC], rs[D3DRS_STENCILREF], rs[D3DRS_STENCILMASK],
                                     rs[D3DRS_STENCILFAIL], rs[D3DRS_STENCILZFAIL], rs[D3DRS_STENCILPASS],
                                     backFunc,              backFail,             backZFail,
                                     backPass,              0,                    0};
        if (changed(shadow, shadow.stencil, values))
        {
            GLint ref = GLint(rs[D3DRS_STENCILREF] & 0xFF);
            glStencilFuncSeparate(GL_FRONT, compareFunc(values[0]), ref, values[2]);
            glStencilFuncSeparate(GL_BACK, compareFunc(backFunc), ref, values[2]);
            glStencilOpSeparate(GL_FRONT, stencilOp(values[3]), stencilOp(values[4]), stencilOp(values[5]));
            glStencilOpSeparate(GL_BACK, stencilOp(backFail), stencilOp(backZFail), stencilOp(backPass));
        }
        if (changed(shadow, shadow.stencilWriteMask, GLuint(rs[D3DRS_STENCILWRITEMASK])))
            glStencilMask(shadow.stencilWriteMask);
    }

    // Drawing flips y, so the platform's clockwise triangles are OpenGL's counter-clockwise (front) ones.
    DWORD cullMode = rs[D3DRS_CULLMODE];
    bool cull = cullMode == D3DCULL_CW || cullMode == D3DCULL_CCW;
    if (changed(shadow, shadow.cull, cull))
    {
        cull ? glEnable(GL_CULL_FACE) : glDisable(GL_CULL_FACE);
        if (!shadow.valid)
        {
            glFrontFace(GL_CCW);
            glProvokingVertex(GL_FIRST_VERTEX_CONVENTION); // flat shading takes the first vertex's colour
            glPointParameteri(GL_POINT_SPRITE_COORD_ORIGIN, GL_LOWER_LEFT);
        }
    }
    if (cull && changed(shadow, shadow.cullFace, GLenum(cullMode == D3DCULL_CW ? GL_FRONT : GL_BACK)))
        glCullFace(shadow.cullFace);

    for (UINT i = 0; i < kMaxRenderTargets; ++i)
    {
        DWORD mask = i == 0 ? rs[D3DRS_COLORWRITEENABLE] : rs[D3DRS_COLORWRITEENABLE1 + i - 1];
        if (changed(shadow, shadow.colourMask[i], mask))
            glColorMaski(i, (mask & 1) != 0, (mask & 2) != 0, (mask & 4) != 0, (mask & 8) != 0);
    }

    GLenum fill = rs[D3DRS_FILLMODE] == D3DFILL_POINT ? GL_POINT : rs[D3DRS_FILLMODE] == D3DFILL_WIREFRAME ? GL_LINE
                                                                                                         : GL_FILL;
    if (changed(shadow, shadow.polygonMode, fill))
        glPolygonMode(GL_FRONT_AND_BACK, fill);

    // The platform's depth bias is in depth-range units; OpenGL's in steps of the depth buffer.
    float bias = floatOf(rs[D3DRS_DEPTHBIAS]), slope = floatOf(rs[D3DRS_SLOPESCALEDEPTHBIAS]);
    bool offset = bias != 0.0f || slope != 0.0f;
    if (changed(shadow, shadow.polygonOffset, offset))
    {
        for (GLenum mode : {GL_POLYGON_OFFSET_FILL, GL_POLYGON_OFFSET_LINE, GL_POLYGON_OFFSET_POINT})
            offset ? glEnable(mode) : glDisable(mode);
    }
    if (offset)
    {
        bool shallow = depthSurface && (depthSurface->mDesc.Format == D3DFMT_D16 ||
                                        depthSurface->mDesc.Format == D3DFMT_D16_LOCKABLE ||
                                        depthSurface->mDesc.Format == D3DFMT_D15S1);
        float units = bias * (shallow ? 65535.0f : 16777215.0f);
        if (changed(shadow, shadow.offset, {slope, units}))
            glPolygonOffset(slope, units);
    }
}

void Pipeline::applyTextures(const ProgramKey& key)
{
    GlShadow& shadow = *mShadow;
    bool samplersDirty = (mDevice.mDirty & DirtySamplerState) || !shadow.valid;
    for (int stage = 0; stage < 8; ++stage)
    {
        if (stage >= key.stageCount || !key.stages[stage].texture)
            continue;
        TextureStore* store = textureStore(mDevice.mTextures[size_t(stage)]);
        store->prepareForSampling();
        GLenum target = store->mFaces == 6 ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
        if (!shadow.valid || shadow.textures[size_t(stage)] != store->mGlTexture ||
            shadow.textureTargets[size_t(stage)] != target)
        {
            glActiveTexture(GL_TEXTURE0 + GLenum(stage));
            glBindTexture(target, store->mGlTexture);
            glActiveTexture(GL_TEXTURE0 + kScratchUnit);
            shadow.textures[size_t(stage)] = store->mGlTexture;
            shadow.textureTargets[size_t(stage)] = target;
        }
        if (changed(shadow, shadow.samplers[size_t(stage)], mSamplers[size_t(stage)]))
            glBindSampler(GLuint(stage), mSamplers[size_t(stage)]);
        // A sampler is set up on its stage's first texture, then again only when sampler states changed.
        const auto& states = mDevice.mSamplerStates[size_t(stage)];
        SamplerState& cached = shadow.samplerStates[size_t(stage)];
        if (cached.valid && (!samplersDirty || cached.states == states))
            continue;
        GLuint sampler = mSamplers[size_t(stage)];
        auto differs = [&](DWORD type) { return !cached.valid || cached.states[type] != states[type]; };
        if (differs(D3DSAMP_ADDRESSU))
            glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, GLint(addressMode(states[D3DSAMP_ADDRESSU], mMirrorOnce)));
        if (differs(D3DSAMP_ADDRESSV))
            glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, GLint(addressMode(states[D3DSAMP_ADDRESSV], mMirrorOnce)));
        if (differs(D3DSAMP_ADDRESSW))
            glSamplerParameteri(sampler, GL_TEXTURE_WRAP_R, GLint(addressMode(states[D3DSAMP_ADDRESSW], mMirrorOnce)));
        if (differs(D3DSAMP_BORDERCOLOR))
        {
            float c[4];
            colour(states[D3DSAMP_BORDERCOLOR], c);
            glSamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, c);
        }
        if (differs(D3DSAMP_MAGFILTER))
            glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER,
                                states[D3DSAMP_MAGFILTER] >= D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
        if (differs(D3DSAMP_MINFILTER) || differs(D3DSAMP_MIPFILTER))
        {
            bool linear = states[D3DSAMP_MINFILTER] >= D3DTEXF_LINEAR;
            DWORD mip = states[D3DSAMP_MIPFILTER];
            GLenum filter = mip == D3DTEXF_NONE    ? (linear ? GL_LINEAR : GL_NEAREST)
                            : mip == D3DTEXF_POINT ? (linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST)
                                                   : (linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR);
            glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, GLint(filter));
        }
        if (differs(D3DSAMP_MAXMIPLEVEL))
            glSamplerParameterf(sampler, GL_TEXTURE_MIN_LOD, float(states[D3DSAMP_MAXMIPLEVEL]));
        if (differs(D3DSAMP_MIPMAPLODBIAS))
            glSamplerParameterf(sampler, GL_TEXTURE_LOD_BIAS, floatOf(states[D3DSAMP_MIPMAPLODBIAS]));
        if (mAnisotropy && (differs(D3DSAMP_MAXANISOTROPY) || differs(D3DSAMP_MINFILTER) || differs(D3DSAMP_MAGFILTER)))
        {
            bool anisotropic = states[D3DSAMP_MINFILTER] == D3DTEXF_ANISOTROPIC ||
                               states[D3DSAMP_MAGFILTER] == D3DTEXF_ANISOTROPIC;
            float level = anisotropic ? float(std::clamp<DWORD>(states[D3DSAMP_MAXANISOTROPY], 1, 16)) : 1.0f;
            glSamplerParameterf(sampler, kMaxAnisotropy, level);
        }
        cached.states = states;
        cached.valid = true;
    }
}

void Pipeline::applyUniforms(const ProgramKey& key)
{
    constexpr uint32_t groups = DirtyUniformStates | DirtyStageUniforms | DirtyTransform | DirtyLighting |
                                DirtyMaterial | DirtyViewport | DirtyClipPlanes | DirtyTargets;
    const uint32_t dirty = mDevice.mDirty & groups;
    const bool full = !mUploadedValid;
    // Normal matrices a program reads: none without normals, else the world matrix's or one per matrix vertex
    // blending uses.
    const int matrices = key.blendWeights ? (key.indexedBlend ? kBlendMatrices : key.blendWeights + 1) : 1;
    const uint32_t matrixMask = key.components[AttrNormal] ? (1u << matrices) - 1 : 0u;
    if (!full && !dirty && !(mNormalStale & matrixMask) && !(key.clipPlanes && mClipStale) &&
        key.lightCount == mUniformLights)
        return;

    FixedUniforms& u = *mUniforms;
    const auto* base = reinterpret_cast<const BYTE*>(&u);
    size_t low = sizeof(FixedUniforms), high = 0;
    auto mark = [&](const void* field, size_t bytes) {
        size_t at = size_t(static_cast<const BYTE*>(field) - base);
        low = std::min(low, at);
        high = std::max(high, at + bytes);
    };
    const auto& rs = mDevice.mRenderStates;
    const auto& transforms = mDevice.mTransforms;
    const D3DMATRIX& view = transforms[D3DTS_VIEW];
    const uint32_t changedMatrices = full ? ~0u : (dirty & DirtyTransform) ? mDevice.mTransformsChanged : 0u;
    mDevice.mTransformsChanged = 0;
    const bool viewChanged = changedMatrices & (1u << 8);
    const bool projectionChanged = changedMatrices & (1u << 9);

    // Products and inverses only for the matrices whose inputs changed, inverses only for those a program reads.
    const uint32_t worldChanged = viewChanged ? 0xFFu : (changedMatrices & 0xFFu);
    for (int i = 0; i < kBlendMatrices; ++i)
    {
        if (!(worldChanged & (1u << i)))
            continue;
        D3DMATRIX worldView = multiply(transforms[D3DTS_WORLDMATRIX(DWORD(i))], view);
        std::memcpy(u.worldView[i], &worldView, sizeof(u.worldView[i]));
        mark(u.worldView[i], sizeof(u.worldView[i]));
        mNormalStale |= 1u << i;
    }
    const uint32_t normals = full ? 0xFFu : matrixMask;
    for (int i = 0; i < kBlendMatrices; ++i)
    {
        if (!(normals & mNormalStale & (1u << i)))
            continue;
        // Normals go through the inverse transpose of the upper 3 x 3.
        D3DMATRIX upper{}, inverse{};
        std::memcpy(&upper, u.worldView[i], sizeof(upper));
        upper._14 = upper._24 = upper._34 = upper._41 = upper._42 = upper._43 = 0.0f;
        upper._44 = 1.0f;
        if (!invert(upper, inverse))
            inverse = upper;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                u.normalMatrix[i][r * 4 + c] = inverse.m[c][r];
        mark(u.normalMatrix[i], sizeof(u.normalMatrix[i]));
        mNormalStale &= ~(1u << i);
    }
    if (projectionChanged)
    {
        std::memcpy(u.projection, &transforms[D3DTS_PROJECTION], sizeof(u.projection));
        mark(u.projection, sizeof(u.projection));
    }
    for (int i = 0; i < 8; ++i)
        if (changedMatrices & (1u << (10 + i)))
        {
            std::memcpy(u.texture[i], &transforms[D3DTS_TEXTURE0 + i], sizeof(u.texture[i]));
            mark(u.texture[i], sizeof(u.texture[i]));
        }

    // Clip planes are given in world space; the program tests camera-space positions.
    if (viewChanged || (dirty & DirtyClipPlanes))
        mClipStale = true;
    if (mClipStale && (full || key.clipPlanes))
    {
        D3DMATRIX inverseView{};
        if (!invert(view, inverseView))
            inverseView = view;
        for (UINT i = 0; i < kMaxClipPlanes; ++i)
        {
            const auto& plane = mDevice.mClipPlanes[i];
            for (int r = 0; r < 4; ++r)
                u.clipPlane[i][r] = inverseView.m[r][0] * plane[0] + inverseView.m[r][1] * plane[1] +
                                    inverseView.m[r][2] * plane[2] + inverseView.m[r][3] * plane[3];
        }
        mark(u.clipPlane, sizeof(u.clipPlane));
        mClipStale = false;
    }

    if (full || (dirty & DirtyMaterial))
    {
        const D3DMATERIAL9& material = mDevice.mMaterial;
        copy4(material.Diffuse, u.materialDiffuse);
        copy4(material.Ambient, u.materialAmbient);
        copy4(material.Specular, u.materialSpecular);
        copy4(material.Emissive, u.materialEmissive);
        u.materialPower[0] = material.Power;
        mark(u.materialDiffuse, sizeof(float) * 4 * 5);
    }

    if (full || viewChanged || (dirty & DirtyLighting) || key.lightCount != mUniformLights)
    {
        int light = 0;
        for (const auto& entry : mDevice.mLights)
        {
            if (!entry.second.enabled || light >= key.lightCount)
                continue;
            const D3DLIGHT9& l = entry.second.light;
            copy4(l.Diffuse, u.lightDiffuse[light]);
            copy4(l.Specular, u.lightSpecular[light]);
            copy4(l.Ambient, u.lightAmbient[light]);
            float position[4] = {l.Position.x, l.Position.y, l.Position.z, 1.0f};
            float direction[4] = {l.Direction.x, l.Direction.y, l.Direction.z, 0.0f};
            transformRow(position, view, u.lightPosition[light]);
            transformRow(direction, view, u.lightDirection[light]);
            normalise3(u.lightDirection[light]);
            u.lightAttenuation[light][0] = l.Range;
            u.lightAttenuation[light][1] = l.Attenuation0;
            u.lightAttenuation[light][2] = l.Attenuation1;
            u.lightAttenuation[light][3] = l.Attenuation2;
            // Cones wider than a half-turn are clamped: phi to pi, theta to phi.
            float phi = std::clamp(l.Phi, 0.0f, float(M_PI));
            float theta = std::clamp(l.Theta, 0.0f, phi);
            u.lightSpot[light][0] = std::cos(theta / 2.0f);
            u.lightSpot[light][1] = std::cos(phi / 2.0f);
            u.lightSpot[light][2] = l.Falloff;
            ++light;
        }
        mUniformLights = key.lightCount;
        if (light > 0)
            mark(u.lightDiffuse, size_t(reinterpret_cast<const BYTE*>(u.fogColor) -
                                        reinterpret_cast<const BYTE*>(u.lightDiffuse)));
    }

    if (full || (dirty & DirtyUniformStates))
    {
        colour(rs[D3DRS_AMBIENT], u.ambient);
        mark(u.ambient, sizeof(u.ambient));
        colour(rs[D3DRS_FOGCOLOR], u.fogColor);
        u.fog[0] = floatOf(rs[D3DRS_FOGSTART]);
        u.fog[1] = floatOf(rs[D3DRS_FOGEND]);
        u.fog[2] = floatOf(rs[D3DRS_FOGDENSITY]);
        colour(rs[D3DRS_TEXTUREFACTOR], u.textureFactor);
        mark(u.fogColor, sizeof(u.fogColor) + sizeof(u.fog) + sizeof(u.textureFactor));
        u.alphaRef[0] = float(rs[D3DRS_ALPHAREF] & 0xFF);
        u.point[0] = floatOf(rs[D3DRS_POINTSIZE]);
        u.point[1] = floatOf(rs[D3DRS_POINTSIZE_MIN]);
        u.point[2] = std::min(floatOf(rs[D3DRS_POINTSIZE_MAX]), mDevice.mCaps.MaxPointSize);
        u.pointScale[0] = floatOf(rs[D3DRS_POINTSCALE_A]);
        u.pointScale[1] = floatOf(rs[D3DRS_POINTSCALE_B]);
        u.pointScale[2] = floatOf(rs[D3DRS_POINTSCALE_C]);
        mark(u.alphaRef, sizeof(u.alphaRef) + sizeof(u.point) + sizeof(u.pointScale));
    }
    if (full || projectionChanged)
    {
        const D3DMATRIX& projection = transforms[D3DTS_PROJECTION];
        u.fog[3] = (mDevice.mCaps.RasterCaps & D3DPRASTERCAPS_WFOG) && projection._34 != 0.0f ? 1.0f : 0.0f;
        mark(u.fog, sizeof(u.fog));
    }
    if (full || (dirty & DirtyStageUniforms))
    {
        for (int stage = 0; stage < 8; ++stage)
        {
            const auto& ts = mDevice.mStageStates[size_t(stage)];
            colour(ts[D3DTSS_CONSTANT], u.stageConstant[stage]);
            u.bumpMatrix[stage][0] = floatOf(ts[D3DTSS_BUMPENVMAT00]);
            u.bumpMatrix[stage][1] = floatOf(ts[D3DTSS_BUMPENVMAT01]);
            u.bumpMatrix[stage][2] = floatOf(ts[D3DTSS_BUMPENVMAT10]);
            u.bumpMatrix[stage][3] = floatOf(ts[D3DTSS_BUMPENVMAT11]);
            u.bumpLuminance[stage][0] = floatOf(ts[D3DTSS_BUMPENVLSCALE]);
            u.bumpLuminance[stage][1] = floatOf(ts[D3DTSS_BUMPENVLOFFSET]);
        }
        mark(u.stageConstant, sizeof(u.stageConstant) + sizeof(u.bumpMatrix) + sizeof(u.bumpLuminance));
    }
    if (full || (dirty & (DirtyViewport | DirtyTargets)))
    {
        const D3DVIEWPORT9& vp = mDevice.mViewport;
        u.point[3] = float(vp.Height);
        mark(&u.point[3], sizeof(float));
        u.viewport[0] = float(vp.X);
        u.viewport[1] = float(vp.Y);
        u.viewport[2] = float(vp.Width);
        u.viewport[3] = float(vp.Height);
        mark(u.viewport, sizeof(u.viewport));
    }

    if (full)
    {
        low = 0;
        high = sizeof(FixedUniforms);
    }
    else
    {
        // Send only the part that differs from what OpenGL holds, in whole vec4s.
        low &= ~size_t(15);
        high = std::min((high + 15) & ~size_t(15), sizeof(FixedUniforms));
        const auto* sent = reinterpret_cast<const BYTE*>(mUploaded.get());
        while (low < high && std::memcmp(base + low, sent + low, 16) == 0)
            low += 16;
        while (high > low && std::memcmp(base + high - 16, sent + high - 16, 16) == 0)
            high -= 16;
        if (low >= high)
            return;
    }
    trace("glUniformBlock", low, high - low);
    glBindBuffer(GL_UNIFORM_BUFFER, mUbo);
    glBufferSubData(GL_UNIFORM_BUFFER, GLintptr(low), GLsizeiptr(high - low), base + low);
    std::memcpy(reinterpret_cast<BYTE*>(mUploaded.get()) + low, base + low, high - low);
    mUploadedValid = true;
}

void Pipeline::applyShaderConstants(const ProgramKey& key, Program& program)
{
    if (key.vertexShader)
    {
        UINT begin = mDevice.mVsConstDirtyBegin, end = mDevice.mVsConstDirtyEnd;
        if (!mVsConstantsUploaded)
        {
            begin = 0;
            end = kShaderConstantsF;
        }
        if (begin < end)
        {
            // Only the registers set since the last upload.
            trace("glVsConstants", begin, end - begin);
            glBindBuffer(GL_UNIFORM_BUFFER, mVsConstantUbo);
            glBufferSubData(GL_UNIFORM_BUFFER, GLintptr(begin) * 16, GLsizeiptr(end - begin) * 16,
                            mDevice.mVsConstF.data() + size_t(begin) * 4);
            mVsConstantsUploaded = true;
            mDevice.mVsConstDirtyBegin = kShaderConstantsF;
            mDevice.mVsConstDirtyEnd = 0;
        }
    }
    // Uniforms belong to the program: each is sent the constants once per change of them.
    if (key.pixelShader && program.pixelConstants >= 0 && program.psConstSerial != mDevice.mPsConstSerial)
    {
        trace("glPsConstants");
        glUniform4fv(program.pixelConstants, 8, mDevice.mPsConstF.data());
        program.psConstSerial = mDevice.mPsConstSerial;
    }
}

void Pipeline::applyVertexInput(const VertexLayout& layout, const DrawRequest& request, const Program& program)
{
    GlShadow& shadow = *mShadow;
    if (request.indexed && changed(shadow, shadow.elementBuffer, GLuint(request.indexBuffer)))
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, request.indexBuffer);
    // The same layout, program and stream sources as the draw before leave every attribute as it is (a new
    // declaration may sit where a freed one was, so a declaration change always looks again).
    const bool sameSetup =
        shadow.valid && !(mDevice.mDirty & DirtyDeclaration) && &layout == mInputLayout && &program == mInputProgram;
    bool sameBases = sameSetup;
    bool sameBuffers = sameSetup;
    for (uint32_t mask = layout.streamMask; sameBuffers && mask; mask &= mask - 1)
    {
        const UINT s = UINT(std::countr_zero(mask));
        const StreamSource& a = request.streams[s];
        const StreamSource& b = mInputStreams[s];
        sameBuffers = a.glBuffer == b.glBuffer && a.glBuffer != 0 && a.stride == b.stride;
        sameBases = sameBases && a.base == b.base;
    }
    if (sameBuffers && sameBases)
        return;
    mInputLayout = &layout;
    mInputProgram = &program;
    for (uint32_t mask = layout.streamMask; mask; mask &= mask - 1)
    {
        const UINT s = UINT(std::countr_zero(mask));
        mInputStreams[s] = request.streams[s];
    }
    // Draws of one buffer that differ only in their first vertex (sectors of a shared buffer) move the offsets
    // of the attributes the last full pass set, and nothing else.
    if (sameBuffers)
    {
        for (const InputAttribute& input : std::span(mInputs.data(), mInputCount))
        {
            AttributeState& cached = shadow.attributes[input.location];
            const uint64_t offset = request.streams[input.stream].base + input.offset;
            if (cached.offset == offset)
                continue;
            if (changed(shadow, shadow.arrayBuffer, cached.buffer))
                glBindBuffer(GL_ARRAY_BUFFER, cached.buffer);
            trace("glVertexAttribPointer", input.location, offset);
            glVertexAttribPointer(GLuint(input.location), cached.size, cached.type,
                                  cached.normalized ? GL_TRUE : GL_FALSE, cached.stride,
                                  reinterpret_cast<const void*>(uintptr_t(offset)));
            cached.offset = offset;
        }
        return;
    }

    mInputCount = 0;
    uint32_t enabled = 0;
    for (UINT i = 0; i < layout.count; ++i)
    {
        const LayoutElement& element = layout.elements[i];
        int location = program.location[element.attribute];
        // Locations stop at 16, the least any OpenGL 3.3 driver offers; vertex shaders have 16 inputs.
        if (location < 0 || location >= 16)
            continue;
        const StreamSource& source = request.streams[element.stream];
        const DeclTypeInfo& type = declType(element.type);
        AttributeState state;
        state.enabled = true;
        state.buffer = source.glBuffer ? source.glBuffer : mRing;
        state.size = type.glSize;
        state.type = type.glType;
        state.normalized = type.normalized;
        state.stride = GLsizei(source.stride);
        state.offset = source.base + element.offset;
        enabled |= 1u << location;
        mInputs[mInputCount++] = {uint8_t(location), uint8_t(element.stream), element.offset};
        AttributeState& cached = shadow.attributes[size_t(location)];
        if (shadow.valid && cached == state)
            continue;
        if (!shadow.valid || !cached.enabled)
            glEnableVertexAttribArray(GLuint(location));
        if (changed(shadow, shadow.arrayBuffer, state.buffer))
            glBindBuffer(GL_ARRAY_BUFFER, state.buffer);
        trace("glVertexAttribPointer", location, state.offset);
        glVertexAttribPointer(GLuint(location), state.size, state.type, state.normalized ? GL_TRUE : GL_FALSE,
                              state.stride, reinterpret_cast<const void*>(uintptr_t(state.offset)));
        cached = state;
    }
    // Inputs the draw before fed and this one does not.
    uint32_t stale = (shadow.valid ? mEnabledAttributes : 0xFFFFu) & ~enabled;
    for (GLuint i = 0; stale; ++i, stale >>= 1)
        if (stale & 1)
        {
            glDisableVertexAttribArray(i);
            shadow.attributes[i] = AttributeState{};
        }
    mEnabledAttributes = enabled;
}

void Pipeline::capture(const DrawRequest& request, const Program& program, const VertexLayout& layout)
{
    const GlShadow& shadow = *mShadow;
    CaptureSink& sink = *mCapture;
    CapturedDraw draw;
    draw.program = program.program;
    draw.textures = shadow.textures;
    draw.textureTargets = shadow.textureTargets;
    draw.samplers = shadow.samplers;
    for (int stage = 0; stage < 8; ++stage)
        if (stage >= mLastKey.stageCount || !mLastKey.stages[stage].texture)
            draw.textures[size_t(stage)] = 0;
    draw.viewport = shadow.viewport;
    draw.depthTest = shadow.depthTest;
    draw.depthFunc = shadow.depthFunc;
    draw.depthMask = shadow.depthMask;
    draw.blend = shadow.blend;
    draw.blendFunc = shadow.blendFunc;
    draw.blendEquation = shadow.blendEquation;
    draw.cull = shadow.cull;
    draw.cullFace = shadow.cullFace;
    draw.colourMask = shadow.colourMask[0];
    std::copy_n(shadow.attributes.begin(), 16, draw.attributes.begin());
    draw.elementBuffer = request.indexed ? request.indexBuffer : 0;
    draw.mode = primitiveMode(request.type);
    draw.count = request.vertexCount;
    draw.indexed = request.indexed;
    draw.index32 = request.index32;
    draw.lowest = request.lowest;
    draw.highest = request.highest;
    draw.indexOffset = request.indexOffset;
    draw.baseVertex = request.baseVertex;
    draw.pixelConstants = mLastKey.pixelShader ? program.pixelConstants : -1;
    if (draw.pixelConstants >= 0)
        std::copy_n(mDevice.mPsConstF.begin(), 32, draw.psConstants.begin());
    draw.vsConstants = mLastKey.vertexShader != 0;
    if (draw.vsConstants)
    {
        sink.vsConstants.emplace_back();
        std::copy_n(mDevice.mVsConstF.begin(), kShaderConstantsF * 4, sink.vsConstants.back().begin());
    }
    // The replay sends the block's bytes that differ from the draw before, as an application would.
    const auto* now = reinterpret_cast<const BYTE*>(mUniforms.get());
    size_t low = 0, high = sizeof(FixedUniforms);
    if (!sink.uniforms.empty())
    {
        const auto* before = reinterpret_cast<const BYTE*>(&sink.uniforms.back());
        while (low < high && std::memcmp(now + low, before + low, 16) == 0)
            low += 16;
        while (high > low && std::memcmp(now + high - 16, before + high - 16, 16) == 0)
            high -= 16;
    }
    draw.uniformBegin = uint32_t(low);
    draw.uniformEnd = uint32_t(high);
    sink.uniforms.push_back(*mUniforms);
    // State the replay leaves as the layer set it must hold for the whole frame.
    if (shadow.scissorTest || shadow.stencilTest || shadow.polygonOffset || shadow.clipDistances ||
        shadow.polygonMode != GL_FILL || shadow.programPointSize || layout.pretransformed)
        sink.complete = false;
    sink.draws.push_back(draw);
}

// ---- Drawing --------------------------------------------------------------------------------------------------

bool Pipeline::draw(const VertexLayout& layout, const DrawRequest& request)
{
    if (mDevice.mGl.stateDirty)
    {
        invalidate();
        mDevice.mGl.stateDirty = false;
    }
    GlShadow& shadow = *mShadow;
    if (!shadow.valid)
    {
        glBindVertexArray(mVao);
        glActiveTexture(GL_TEXTURE0 + kScratchUnit);
        glBindBufferBase(GL_UNIFORM_BUFFER, 0, mUbo);
        glBindBufferBase(GL_UNIFORM_BUFFER, 1, mVsConstantUbo);
    }
    Program* program = this->program(layout, request.type);
    if (!program || !program->program)
        return false;
    if (changed(shadow, shadow.program, program->program))
        glUseProgram(program->program);
    if (!shadow.valid || (mDevice.mDirty & DirtyTargets))
        applyTargets();
    if (!shadow.valid || (mDevice.mDirty & (DirtyRenderState | DirtyViewport | DirtyTargets)))
        applyRasterState();
    uint32_t clip = layout.pretransformed ? 0 : mLastKey.clipPlanes;
    if (changed(shadow, shadow.clipDistances, clip))
        for (UINT i = 0; i < kMaxClipPlanes; ++i)
            (clip & (1u << i)) ? glEnable(GL_CLIP_DISTANCE0 + i) : glDisable(GL_CLIP_DISTANCE0 + i);
    bool points = request.type == D3DPT_POINTLIST;
    if (changed(shadow, shadow.programPointSize, points))
        points ? glEnable(GL_PROGRAM_POINT_SIZE) : glDisable(GL_PROGRAM_POINT_SIZE);
    applyTextures(mLastKey);
    applyUniforms(mLastKey);
    applyShaderConstants(mLastKey, *program);
    applyVertexInput(layout, request, *program);
    shadow.valid = true;
    if (mCapture)
        capture(request, *program, layout);

    GLenum mode = primitiveMode(request.type);
    if (request.indexed)
        glDrawRangeElementsBaseVertex(mode, request.lowest, request.highest, GLsizei(request.vertexCount),
                                      request.index32 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                                      reinterpret_cast<const void*>(uintptr_t(request.indexOffset)),
                                      request.baseVertex);
    else
        glDrawArrays(mode, 0, GLsizei(request.vertexCount));
    mDevice.mDirty = 0;
    glCheck("draw");
    return true;
}

} // namespace d3d9
