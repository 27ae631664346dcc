// GLSL for the fixed-function pipeline of our Direct3D 9 layer: a vertex program (transform and blending,
// lighting, texture-coordinate generation and transforms, fog, point size) and a fragment program (the
// texture-stage combiner, specular add, alpha test, fog blend), both generated from a program key.
#include "d3d9pipeline_local.h"

#include <cstring>

namespace d3d9
{

bool ProgramKey::operator==(const ProgramKey& other) const
{
    return std::memcmp(this, &other, sizeof(ProgramKey)) == 0;
}

size_t ProgramKeyHash::operator()(const ProgramKey& key) const
{
    // FNV-1a over the bytes: the key has no padding and is zeroed before it is filled.
    const auto* bytes = reinterpret_cast<const unsigned char*>(&key);
    uint64_t hash = 1469598103934665603ull;
    for (size_t i = 0; i < sizeof(ProgramKey); ++i)
        hash = (hash ^ bytes[i]) * 1099511628211ull;
    return size_t(hash);
}

const char* const kUniformBlockGlsl = R"(
layout(std140) uniform Fixed
{
    mat4 uWorldView[8];
    mat4 uNormalMatrix[8];
    mat4 uProjection;
    mat4 uTexture[8];
    vec4 uClipPlane[6];
    vec4 uMatDiffuse, uMatAmbient, uMatSpecular, uMatEmissive;
    vec4 uMatPower;
    vec4 uAmbient;
    vec4 uLightDiffuse[8];
    vec4 uLightSpecular[8];
    vec4 uLightAmbient[8];
    vec4 uLightPosition[8];
    vec4 uLightDirection[8];
    vec4 uLightAttenuation[8];
    vec4 uLightSpot[8];
    vec4 uFogColor;
    vec4 uFog;
    vec4 uTextureFactor;
    vec4 uStageConstant[8];
    vec4 uBumpMatrix[8];
    vec4 uBumpLuminance[8];
    vec4 uAlphaRef;
    vec4 uPoint;
    vec4 uPointScale;
    vec4 uViewport;
};
)";

namespace
{

const char* const kAttributeNames[AttrCount] = {"aPosition", "aBlendWeight", "aBlendIndices", "aNormal",
                                                "aPointSize", "aDiffuse",     "aSpecular",     "aTexCoord0",
                                                "aTexCoord1", "aTexCoord2",   "aTexCoord3",    "aTexCoord4",
                                                "aTexCoord5", "aTexCoord6",   "aTexCoord7"};

std::string num(int value)
{
    return std::to_string(value);
}

/// An attribute as the platform widens it: missing components are (0, 0, 0, 1), packed three-component types
/// have w 1.
std::string attribute(const ProgramKey& key, int index)
{
    std::string name = kAttributeNames[index];
    if (key.components[index] == 3)
        return "vec4(" + name + ".xyz, 1.0)";
    return name;
}

/// Texture coordinates ahead of a texture transform: the component after the last given one is 1.
std::string widenTexCoord(const ProgramKey& key, int set)
{
    std::string name = kAttributeNames[AttrTexCoord0 + set];
    switch (key.components[AttrTexCoord0 + set])
    {
    case 1:
        return "vec4(" + name + ".x, 1.0, 0.0, 0.0)";
    case 2:
        return "vec4(" + name + ".xy, 1.0, 0.0)";
    case 3:
        return "vec4(" + name + ".xyz, 1.0)";
    case 4:
        return name;
    default:
        return "vec4(0.0, 0.0, 0.0, 1.0)";
    }
}

bool stageSamples(const StageKey& stage)
{
    return stage.texture != 0;
}

std::string materialColour(const ProgramKey& key, int which, const char* material)
{
    // Colour sources pick a vertex colour only when the vertex has it.
    if (key.colorVertex)
    {
        if (key.materialSource[which] == D3DMCS_COLOR1 && key.components[AttrDiffuse])
            return "aDiffuse";
        if (key.materialSource[which] == D3DMCS_COLOR2 && key.components[AttrSpecular])
            return "aSpecular";
    }
    return material;
}

std::string fogFormula(int mode, const std::string& depth)
{
    switch (mode)
    {
    case D3DFOG_LINEAR:
        return "clamp((uFog.y - " + depth + ") / (uFog.y - uFog.x), 0.0, 1.0)";
    case D3DFOG_EXP:
        return "clamp(exp(-uFog.z * " + depth + "), 0.0, 1.0)";
    case D3DFOG_EXP2:
        return "clamp(exp(-(uFog.z * " + depth + ") * (uFog.z * " + depth + ")), 0.0, 1.0)";
    default:
        return "1.0";
    }
}

} // namespace

// ---- Vertex program -------------------------------------------------------------------------------------------

std::string vertexSource(const ProgramKey& key)
{
    std::string s = "#version 330 core\n";
    s += kUniformBlockGlsl;
    for (int i = 0; i < AttrCount; ++i)
        if (key.components[i])
            s += "layout(location = " + num(i) + ") in vec4 " + kAttributeNames[i] + ";\n";
    const char* interpolation = key.flat ? "flat " : "";
    s += std::string(interpolation) + "out vec4 vDiffuse;\n";
    s += std::string(interpolation) + "out vec4 vSpecular;\n";
    s += "out vec4 vTex[8];\nout float vFog;\nout float vEyeZ;\n";
    if (key.clipPlanes)
        s += "out float gl_ClipDistance[6];\n";
    s += "void main()\n{\n";
    s += "    vec4 position = " + attribute(key, AttrPosition) + ";\n";
    s += "    vec3 eye = vec3(0.0);\n    vec3 normal = vec3(0.0);\n";
    s += "    vec4 inDiffuse = " + std::string(key.components[AttrDiffuse] ? "aDiffuse" : "vec4(1.0)") + ";\n";
    s += "    vec4 inSpecular = " + std::string(key.components[AttrSpecular] ? "aSpecular" : "vec4(0.0)") + ";\n";

    if (key.pretransformed)
    {
        // Screen-space vertices: pixel centres of the platform lie on integers, OpenGL's on halves.
        s += "    float w = position.w != 0.0 ? 1.0 / position.w : 1.0;\n"
             "    vec2 ndc = (position.xy + 0.5 - uViewport.xy) / uViewport.zw * 2.0 - 1.0;\n"
             "    gl_Position = vec4(ndc * w, (position.z * 2.0 - 1.0) * w, w);\n"
             "    vEyeZ = w;\n";
        s += "    vDiffuse = inDiffuse;\n    vSpecular = inSpecular;\n";
    }
    else
    {
        int matrices = key.blendWeights + 1;
        if (matrices == 1)
        {
            s += "    vec4 eye4 = uWorldView[0] * position;\n";
            if (key.components[AttrNormal])
                s += "    normal = mat3(uNormalMatrix[0]) * aNormal.xyz;\n";
        }
        else
        {
            s += "    vec4 eye4 = vec4(0.0);\n    float last = 1.0;\n";
            for (int i = 0; i < matrices; ++i)
            {
                std::string weight = i + 1 < matrices ? "aBlendWeight[" + num(i) + "]" : "last";
                std::string index = key.indexedBlend ? "min(int(aBlendIndices[" + num(i) + "]), 7)" : num(i);
                if (i + 1 < matrices)
                    s += "    last -= " + weight + ";\n";
                s += "    eye4 += " + weight + " * (uWorldView[" + index + "] * position);\n";
                if (key.components[AttrNormal])
                    s += "    normal += " + weight + " * (mat3(uNormalMatrix[" + index + "]) * aNormal.xyz);\n";
            }
        }
        if (key.normalize && key.components[AttrNormal])
            s += "    if (dot(normal, normal) > 0.0) normal = normalize(normal);\n";
        s += "    eye = eye4.xyz / (eye4.w != 0.0 ? eye4.w : 1.0);\n";
        // The platform's clip space has z in [0, w] and y up; our images keep the top row first, so y flips,
        // and pixel centres move by half a pixel.
        s += "    vec4 clip = uProjection * eye4;\n"
             "    gl_Position = vec4(clip.x + clip.w / uViewport.z, -clip.y + clip.w / uViewport.w,\n"
             "                       2.0 * clip.z - clip.w, clip.w);\n"
             "    vEyeZ = clip.w;\n";
        for (int i = 0; i < int(kMaxClipPlanes); ++i)
            if (key.clipPlanes & (1 << i))
                s += "    gl_ClipDistance[" + num(i) + "] = dot(eye4, uClipPlane[" + num(i) + "]);\n";
            else if (key.clipPlanes)
                s += "    gl_ClipDistance[" + num(i) + "] = 1.0;\n";

        if (key.lighting)
        {
            s += "    vec4 cDiffuse = " + materialColour(key, 0, "uMatDiffuse") + ";\n";
            s += "    vec4 cSpecular = " + materialColour(key, 1, "uMatSpecular") + ";\n";
            s += "    vec4 cAmbient = " + materialColour(key, 2, "uMatAmbient") + ";\n";
            s += "    vec4 cEmissive = " + materialColour(key, 3, "uMatEmissive") + ";\n";
            s += "    vec3 ambient = uAmbient.rgb;\n    vec3 diffuse = vec3(0.0);\n    vec3 specular = vec3(0.0);\n";
            s += std::string("    vec3 toViewer = ") +
                 (key.localViewer ? "(dot(eye, eye) > 0.0 ? -normalize(eye) : vec3(0.0, 0.0, -1.0))"
                                  : "vec3(0.0, 0.0, -1.0)") +
                 ";\n";
            for (int i = 0; i < key.lightCount; ++i)
            {
                std::string n = num(i);
                s += "    {\n        vec3 L;\n        float attenuation = 1.0;\n";
                if (key.lightTypes[i] == D3DLIGHT_DIRECTIONAL)
                    s += "        L = -uLightDirection[" + n + "].xyz;\n";
                else
                {
                    s += "        vec3 toLight = uLightPosition[" + n + "].xyz - eye;\n"
                         "        float d = length(toLight);\n"
                         "        L = d > 0.0 ? toLight / d : vec3(0.0);\n"
                         "        vec4 a = uLightAttenuation[" + n + "];\n"
                         "        attenuation = d > a.x ? 0.0 : 1.0 / max(a.y + a.z * d + a.w * d * d, 1e-6);\n";
                    if (key.lightTypes[i] == D3DLIGHT_SPOT)
                        s += "        vec4 spot = uLightSpot[" + n + "];\n"
                             "        float rho = dot(-L, uLightDirection[" + n + "].xyz);\n"
                             "        attenuation *= rho > spot.x ? 1.0 : rho <= spot.y ? 0.0\n"
                             "            : pow(clamp((rho - spot.y) / max(spot.x - spot.y, 1e-6), 0.0, 1.0), spot.z);\n";
                }
                s += "        ambient += uLightAmbient[" + n + "].rgb * attenuation;\n"
                     "        diffuse += uLightDiffuse[" + n + "].rgb * max(dot(normal, L), 0.0) * attenuation;\n";
                if (key.specular)
                    s += "        vec3 H = L + toViewer;\n"
                         "        H = dot(H, H) > 0.0 ? normalize(H) : H;\n"
                         "        float nh = max(dot(normal, H), 0.0);\n"
                         "        specular += uLightSpecular[" + n + "].rgb * attenuation *\n"
                         "            (uMatPower.x > 0.0 ? pow(nh, uMatPower.x) : 1.0);\n";
                s += "    }\n";
            }
            s += "    vDiffuse = vec4(clamp(cEmissive.rgb + cAmbient.rgb * ambient + cDiffuse.rgb * diffuse, 0.0, 1.0),\n"
                 "                    clamp(cDiffuse.a, 0.0, 1.0));\n";
            s += "    vSpecular = vec4(clamp(cSpecular.rgb * specular, 0.0, 1.0), clamp(cSpecular.a, 0.0, 1.0));\n";
        }
        else
            s += "    vDiffuse = inDiffuse;\n    vSpecular = inSpecular;\n";
    }

    // Fog factor per vertex; table fog computes it per pixel from vEyeZ.
    if (key.fog && !key.fogTableMode)
    {
        if (key.fogVertexMode && !key.pretransformed)
            s += "    vFog = " + fogFormula(key.fogVertexMode, key.rangeFog ? "length(eye)" : "abs(eye.z)") + ";\n";
        else
            s += "    vFog = vSpecular.a;\n"; // the platform takes a given fog factor from specular alpha
    }
    else
        s += "    vFog = 1.0;\n";

    // Texture coordinates of each stage that samples.
    for (int stage = 0; stage < key.stageCount; ++stage)
    {
        const StageKey& st = key.stages[stage];
        std::string n = num(stage);
        if (!stageSamples(st))
        {
            s += "    vTex[" + n + "] = vec4(0.0, 0.0, 0.0, 1.0);\n";
            continue;
        }
        std::string coord;
        switch (key.pretransformed ? 0 : st.texGen)
        {
        case D3DTSS_TCI_CAMERASPACENORMAL >> 16:
            coord = "vec4(normal, 1.0)";
            break;
        case D3DTSS_TCI_CAMERASPACEPOSITION >> 16:
            coord = "vec4(eye, 1.0)";
            break;
        case D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR >> 16:
            coord = key.localViewer ? "vec4(reflect(dot(eye, eye) > 0.0 ? normalize(eye) : vec3(0.0, 0.0, 1.0), "
                                      "normal), 1.0)"
                                    : "vec4(reflect(vec3(0.0, 0.0, 1.0), normal), 1.0)";
            break;
        case D3DTSS_TCI_SPHEREMAP >> 16:
            coord = "sphereMap(reflect(dot(eye, eye) > 0.0 ? normalize(eye) : vec3(0.0, 0.0, 1.0), normal))";
            break;
        default:
            coord = widenTexCoord(key, st.texCoordIndex & 7);
            break;
        }
        if (st.transformCount && !key.pretransformed)
            coord = "uTexture[" + n + "] * " + coord;
        s += "    vTex[" + n + "] = " + coord + ";\n";
    }

    if (key.pointList)
    {
        std::string size = key.components[AttrPointSize] ? "aPointSize.x" : "uPoint.x";
        if (key.pointScale && !key.pretransformed)
            s += "    float pd = length(eye);\n"
                 "    float ps = uPoint.w * " + size + " * sqrt(1.0 / max(uPointScale.x + uPointScale.y * pd +\n"
                 "        uPointScale.z * pd * pd, 1e-12));\n";
        else
            s += "    float ps = " + size + ";\n";
        s += "    gl_PointSize = clamp(ps, uPoint.y, uPoint.z);\n";
    }
    s += "}\n";
    if (s.find("sphereMap(") != std::string::npos)
        s.insert(s.find("void main()"), "vec4 sphereMap(vec3 r)\n{\n    float m = 2.0 * sqrt(r.x * r.x + r.y * r.y + "
                                        "(r.z + 1.0) * (r.z + 1.0));\n    return vec4(r.x / m + 0.5, r.y / m + 0.5, "
                                        "1.0, 0.0);\n}\n");
    return s;
}

// ---- Fragment program -----------------------------------------------------------------------------------------

namespace
{

std::string argument(DWORD arg, int stage)
{
    std::string value;
    switch (arg & D3DTA_SELECTMASK)
    {
    case D3DTA_DIFFUSE:
        value = "diffuse";
        break;
    case D3DTA_CURRENT:
        value = "current";
        break;
    case D3DTA_TEXTURE:
        value = "tex" + num(stage);
        break;
    case D3DTA_TFACTOR:
        value = "uTextureFactor";
        break;
    case D3DTA_SPECULAR:
        value = "specular";
        break;
    case D3DTA_TEMP:
        value = "temp";
        break;
    case D3DTA_CONSTANT:
        value = "uStageConstant[" + num(stage) + "]";
        break;
    default:
        value = "current";
        break;
    }
    if (arg & D3DTA_ALPHAREPLICATE)
        value = "vec4(" + value + ".a)";
    if (arg & D3DTA_COMPLEMENT)
        value = "(1.0 - " + value + ")";
    return value;
}

/// One stage operation on the .rgb or .a part of its arguments.
std::string operation(int op, int stage, const std::string& a0, const std::string& a1, const std::string& a2,
                      const char* part, bool nextHasTexture)
{
    std::string x = "(" + a1 + ")" + part, y = "(" + a2 + ")" + part, z = "(" + a0 + ")" + part;
    std::string t = "tex" + num(stage);
    switch (op)
    {
    case D3DTOP_SELECTARG1:
        return x;
    case D3DTOP_SELECTARG2:
        return y;
    case D3DTOP_MODULATE:
        return x + " * " + y;
    case D3DTOP_MODULATE2X:
        return x + " * " + y + " * 2.0";
    case D3DTOP_MODULATE4X:
        return x + " * " + y + " * 4.0";
    case D3DTOP_ADD:
        return x + " + " + y;
    case D3DTOP_ADDSIGNED:
        return x + " + " + y + " - 0.5";
    case D3DTOP_ADDSIGNED2X:
        return "(" + x + " + " + y + " - 0.5) * 2.0";
    case D3DTOP_SUBTRACT:
        return x + " - " + y;
    case D3DTOP_ADDSMOOTH:
        return x + " + " + y + " - " + x + " * " + y;
    case D3DTOP_BLENDDIFFUSEALPHA:
        return "mix(" + y + ", " + x + ", diffuse.a)";
    case D3DTOP_BLENDTEXTUREALPHA:
        return "mix(" + y + ", " + x + ", " + t + ".a)";
    case D3DTOP_BLENDFACTORALPHA:
        return "mix(" + y + ", " + x + ", uTextureFactor.a)";
    case D3DTOP_BLENDTEXTUREALPHAPM:
        return x + " + " + y + " * (1.0 - " + t + ".a)";
    case D3DTOP_BLENDCURRENTALPHA:
        return "mix(" + y + ", " + x + ", current.a)";
    case D3DTOP_PREMODULATE:
        return nextHasTexture ? x + " * tex" + num(stage + 1) + part : x;
    case D3DTOP_MODULATEALPHA_ADDCOLOR:
        return x + " + (" + a1 + ").a * " + y;
    case D3DTOP_MODULATECOLOR_ADDALPHA:
        return x + " * " + y + " + (" + a1 + ").a";
    case D3DTOP_MODULATEINVALPHA_ADDCOLOR:
        return "(1.0 - (" + a1 + ").a) * " + y + " + " + x;
    case D3DTOP_MODULATEINVCOLOR_ADDALPHA:
        return "(1.0 - " + x + ") * " + y + " + (" + a1 + ").a";
    case D3DTOP_DOTPRODUCT3:
        return "dot3(" + a1 + ", " + a2 + ")";
    case D3DTOP_MULTIPLYADD:
        return z + " + " + x + " * " + y;
    case D3DTOP_LERP:
        return "mix(" + y + ", " + x + ", " + z + ")";
    default:
        return std::string("current") + part; // bump stages and anything unknown pass the current colour on
    }
}

const char* compareOp(int func)
{
    switch (func)
    {
    case D3DCMP_NEVER:
        return "false";
    case D3DCMP_LESS:
        return "a < r";
    case D3DCMP_EQUAL:
        return "a == r";
    case D3DCMP_LESSEQUAL:
        return "a <= r";
    case D3DCMP_GREATER:
        return "a > r";
    case D3DCMP_NOTEQUAL:
        return "a != r";
    case D3DCMP_GREATEREQUAL:
        return "a >= r";
    default:
        return "true";
    }
}

} // namespace

std::string fragmentSource(const ProgramKey& key)
{
    std::string s = "#version 330 core\n";
    s += kUniformBlockGlsl;
    const char* interpolation = key.flat ? "flat " : "";
    s += std::string(interpolation) + "in vec4 vDiffuse;\n";
    s += std::string(interpolation) + "in vec4 vSpecular;\n";
    s += "in vec4 vTex[8];\nin float vFog;\nin float vEyeZ;\nout vec4 fragColour;\n";
    for (int stage = 0; stage < key.stageCount; ++stage)
        if (key.stages[stage].texture)
            s += std::string("uniform ") + (key.stages[stage].texture == 2 ? "samplerCube" : "sampler2D") +
                 " uSampler" + num(stage) + ";\n";
    s += "vec4 dot3(vec4 a, vec4 b)\n{\n    return vec4(clamp(dot((a.rgb - 0.5) * 2.0, (b.rgb - 0.5) * 2.0), 0.0, "
         "1.0));\n}\n";
    s += "void main()\n{\n    vec4 diffuse = vDiffuse;\n    vec4 specular = vSpecular;\n"
         "    vec4 current = diffuse;\n    vec4 temp = vec4(0.0);\n";

    // Samples first, in stage order, so a bump stage can move the next stage's coordinates.
    for (int stage = 0; stage < key.stageCount; ++stage)
    {
        const StageKey& st = key.stages[stage];
        std::string n = num(stage);
        if (!st.texture)
        {
            s += "    vec4 tex" + n + " = vec4(1.0);\n";
            continue;
        }
        s += "    vec4 tc" + n + " = vTex[" + n + "];\n";
        if (key.pointSprite && key.pointList)
            s += "    tc" + n + " = vec4(gl_PointCoord, 0.0, 1.0);\n"; // sprites span (0, 0) to (1, 1) from the top left
        if (st.projected && st.transformCount >= 2)
        {
            std::string w = std::string("tc") + n + "." + "xyzw"[st.transformCount - 1];
            s += "    tc" + n + " = tc" + n + " / (" + w + " != 0.0 ? " + w + " : 1.0);\n";
        }
        bool bumped = stage > 0 && (key.stages[stage - 1].colorOp == D3DTOP_BUMPENVMAP ||
                                    key.stages[stage - 1].colorOp == D3DTOP_BUMPENVMAPLUMINANCE);
        if (bumped)
        {
            std::string p = num(stage - 1);
            s += "    tc" + n + ".xy += vec2(tex" + p + ".r * uBumpMatrix[" + p + "].x + tex" + p + ".g * uBumpMatrix[" +
                 p + "].z, tex" + p + ".r * uBumpMatrix[" + p + "].y + tex" + p + ".g * uBumpMatrix[" + p + "].w);\n";
        }
        s += "    vec4 tex" + n + " = texture(uSampler" + n + ", tc" + n + (st.texture == 2 ? ".xyz" : ".xy") + ");\n";
        if (bumped && key.stages[stage - 1].colorOp == D3DTOP_BUMPENVMAPLUMINANCE)
        {
            std::string p = num(stage - 1);
            s += "    tex" + n + ".rgb *= clamp(tex" + p + ".b * uBumpLuminance[" + p + "].x + uBumpLuminance[" + p +
                 "].y, 0.0, 1.0);\n";
        }
    }

    for (int stage = 0; stage < key.stageCount; ++stage)
    {
        const StageKey& st = key.stages[stage];
        bool nextHasTexture = stage + 1 < key.stageCount && key.stages[stage + 1].texture;
        std::string c0 = argument(st.colorArg0, stage), c1 = argument(st.colorArg1, stage),
                    c2 = argument(st.colorArg2, stage);
        std::string a0 = argument(st.alphaArg0, stage), a1 = argument(st.alphaArg1, stage),
                    a2 = argument(st.alphaArg2, stage);
        std::string colour = operation(st.colorOp, stage, c0, c1, c2, ".rgb", nextHasTexture);
        std::string alpha = st.alphaOp == D3DTOP_DISABLE
                                ? std::string("current.a")
                                : operation(st.alphaOp, stage, a0, a1, a2, ".a", nextHasTexture);
        if (st.colorOp == D3DTOP_DOTPRODUCT3)
        {
            // The dot product goes to every channel, alpha included.
            s += "    vec4 r" + num(stage) + " = " + colour + ";\n";
            colour = "r" + num(stage) + ".rgb";
            alpha = "r" + num(stage) + ".a";
        }
        else if (st.alphaOp == D3DTOP_DOTPRODUCT3)
            alpha = "(" + alpha + ").a";
        s += std::string("    ") + (st.resultTemp ? "temp" : "current") + " = clamp(vec4(" + colour + ", " + alpha +
             "), 0.0, 1.0);\n";
    }

    if (key.specular)
        s += "    current.rgb = clamp(current.rgb + specular.rgb, 0.0, 1.0);\n";
    if (key.alphaFunc && key.alphaFunc != D3DCMP_ALWAYS)
        s += std::string("    {\n        float a = floor(current.a * 255.0 + 0.5);\n        float r = uAlphaRef.x;\n"
                         "        if (!(") +
             compareOp(key.alphaFunc) + "))\n            discard;\n    }\n";
    if (key.fog)
    {
        if (key.fogTableMode)
            s += "    float fogDepth = uFog.w > 0.5 ? vEyeZ : gl_FragCoord.z;\n    float fog = " +
                 fogFormula(key.fogTableMode, "fogDepth") + ";\n";
        else
            s += "    float fog = clamp(vFog, 0.0, 1.0);\n";
        s += "    current.rgb = mix(uFogColor.rgb, current.rgb, fog);\n";
    }
    s += "    fragColour = current;\n}\n";
    return s;
}

} // namespace d3d9
