// The vertex-shader generator: register allocation and the assembly text of a descriptor,
// assembled into a device shader.
#include "vertexshader.h"

#include "d3d9device.h"
#include "d3dx9.h"
#include "error.h"
#include "vertexshader_local.h"

#include <cstdarg>
#include <cstdio>

namespace
{

const char kLetters[] = "xyzw";
const char* const kMasks[] = {"", "x", "xy", "xyz", "xyzw"};
const char* const kReplicated[] = {"xxx", "yyy", "zzz", "www"};

// Lines are appended to a string, so no descriptor can outgrow the text.
void Line(std::string* text, const char* format, ...)
{
    char line[128];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    if (n > 0)
        text->append(line, size_t(n) < sizeof(line) ? size_t(n) : sizeof(line) - 1);
}

bool KindReadsNormal(int32_t kind)
{
    return kind == 1 || kind == 2 || kind == 3 || kind == 8 || kind == 9 || kind == 10 || kind == 11;
}

struct Layout
{
    int32_t pointBase = 0;
    int32_t spotBase = 0;
    int32_t next = 0; ///< one past the last register allocated below the bones
};

// The allocation rule; false when the descriptor cannot be laid out in the constant file.
bool Allocate(const VertexShaderDescriptor& d, VertexShaderRegisters* r, Layout* layout)
{
    const VertexShaderSettings& s = VsSettings();
    *r = VertexShaderRegisters{kVsNoRegister, kVsNoRegister, kVsNoRegister, kVsNoRegister, kVsNoRegister,
                               {kVsNoRegister, kVsNoRegister, kVsNoRegister}};
    int32_t next = 5 + 2 * d.Directional();
    if (d.Points())
    {
        layout->pointBase = next;
        next += (d.Points() + 3) / 4 + 2 * d.Points();
    }
    if (d.Spots())
    {
        layout->spotBase = next;
        next += (d.Spots() + 3) / 4 + 4 * d.Spots();
    }
    if (d.flags & kVsMaterialColour)
        r->materialColour = uint8_t(next++);
    if (d.Fog() && !s.wFog)
        r->fog = uint8_t(next++);
    if (d.flags & kVsMorph)
        r->morph = uint8_t(next++);
    int32_t count = s.effectCounts[d.EffectKind()];
    if (d.Bones())
    {
        r->bones = uint8_t(next);
        if (count)
        {
            // Effect constants sit at the top of the constant space; at least one bone matrix
            // must fit below them.
            int32_t effect = s.constantCount - count;
            if (effect < next + 3)
                return false;
            r->effect = uint8_t(effect);
        }
        else if (next + 3 > s.constantCount)
            return false;
    }
    else if (count)
    {
        r->effect = uint8_t(next);
        next += count;
    }
    layout->next = next;
    return next <= s.constantCount;
}

struct Writer
{
    std::string* text;
    const VertexShaderDescriptor& d;
    const VertexShaderRegisters& r;
    const Layout& layout;
    int32_t model;
    bool normals;
    const char* P = "v0";
    const char* N = "v3";
    int32_t remaining = 0; ///< lights whose colour is still to be added

    void Version()
    {
        Line(text, model == kVsModel11 ? "vs_1_1\n" : model == kVsModel20 ? "vs_2_0\n" : "vs_2_x\n");
    }

    void Declarations(bool tangent)
    {
        int32_t kind = d.EffectKind(), sets = d.TextureSets();
        Line(text, "dcl_position0 v0\n");
        if (d.Bones())
        {
            if (d.Bones() > 1)
                Line(text, "dcl_blendweight0 v1\n");
            Line(text, "dcl_blendindices0 v2\n");
        }
        if (d.flags & kVsPrelit)
            Line(text, "dcl_color0 v4\n");
        if (normals)
            Line(text, "dcl_normal0 v3\n");
        if (tangent)
            Line(text, "dcl_tangent0 v13\n");
        if (kind == 1 || kind == 2 || kind == 3 || kind == 5 || kind == 6 || kind == 10 || kind == 11)
        {
            if (sets >= 1)
                Line(text, "dcl_texcoord0 v5\n");
        }
        else if (kind == 4 || kind == 7)
        {
            if (sets >= 2)
                Line(text, "dcl_texcoord1 v6\n");
        }
        else
        {
            for (int32_t i = 0; i < sets; ++i)
                Line(text, "dcl_texcoord%u v%u\n", unsigned(i), unsigned(5 + i));
        }
        if (d.flags & kVsMorph)
        {
            Line(text, "dcl_position1 v14\n");
            if (normals)
                Line(text, "dcl_normal1 v15\n");
        }
    }

    void Position()
    {
        bool morph = d.flags & kVsMorph;
        int32_t bones = d.Bones(), b = r.bones, m = r.morph;
        if (!morph && !bones)
        {
            Line(text, "m4x4 oPos.xyzw, v0, c[0]\n");
            return;
        }
        if (morph && !bones)
        {
            Line(text, "mul r3, v0, c[%d].x\n", m);
            Line(text, "mad r3, v14, c[%d].y, r3\n", m);
            P = "r3";
            if (normals)
            {
                Line(text, "mul r5, v3, c[%d].x\n", m);
                Line(text, "mad r5, v15, c[%d].y, r5\n", m);
                N = "r5";
            }
        }
        else if (morph)
        {
            Line(text, "mul r2, v0, c[%d].x\n", m);
            Line(text, "mad r2, v14, c[%d].y, r2\n", m);
            P = "r2";
            if (normals)
            {
                Line(text, "mul r4, v3, c[%d].x\n", m);
                Line(text, "mad r4, v15, c[%d].y, r4\n", m);
                N = "r4";
            }
        }
        if (bones == 1)
        {
            Line(text, model == kVsModel11 ? "mov a0.x, v2.x\n" : "mova a0.x, v2.x\n");
            Line(text, "m4x3 r3.xyz, %s, c[a0.x + %d]\n", P, b);
            if (normals)
                Line(text, "m3x3 r5.xyz, %s, c[a0.x + %d]\n", N, b);
        }
        else if (bones > 1 && normals)
        {
            if (model >= kVsModel20)
                Line(text, "mova a0.%s, v2\n", kMasks[bones]);
            for (int32_t i = 0; i < bones; ++i)
            {
                char w = kLetters[i];
                const char* rows[] = {"r8", "r9", "r10"};
                if (model < kVsModel20)
                {
                    Line(text, "mov a0.x, v2.%c\n", w);
                    for (int32_t row = 0; row < 3; ++row)
                    {
                        if (i == 0)
                            Line(text, "mul %s, v1.%c, c[a0.x + %d]\n", rows[row], 'x', b + row);
                        else
                            Line(text, "mad %s, v1.%c, c[a0.x + %d], %s\n", rows[row], w, b + row, rows[row]);
                    }
                }
                else
                {
                    for (int32_t row = 0; row < 3; ++row)
                    {
                        if (i == 0)
                            Line(text, "mul %s, v1.%c, c[a0.%c + %d]\n", rows[row], 'x', 'x', b + row);
                        else
                            Line(text, "mad %s, v1.%c, c[a0.%c + %d], %s\n", rows[row], w, w, b + row, rows[row]);
                    }
                }
            }
            Line(text, "m4x3 r3.xyz, %s, r8\n", P);
            Line(text, "m3x3 r5.xyz, %s, r8\n", N);
        }
        else if (bones > 1)
        {
            if (model >= kVsModel20)
                Line(text, "mova a0.%s, v2\n", kMasks[bones]);
            for (int32_t i = 0; i < bones; ++i)
            {
                char w = kLetters[i];
                if (model < kVsModel20)
                {
                    Line(text, "mov a0.x, v2.%c\n", w);
                    Line(text, "m4x3 r5.xyz, %s, c[a0.x + %d]\n", P, b);
                }
                else
                    Line(text, "m4x3 r5.xyz, %s, c[a0.%c + %d]\n", P, w, b);
                if (i == 0)
                    Line(text, "mul r3.xyz, v1.%c, r5.xyz\n", 'x');
                else
                    Line(text, "mad r3.xyz, v1.%c, r5.xyz, r3.xyz\n", w);
            }
        }
        P = "r3";
        if (normals && bones)
            N = "r5";
        Line(text, "mov r3.w, v0.w\n");
        Line(text, "m4x4 oPos.xyzw, r3, c[0]\n");
    }

    void Fog(bool wFog)
    {
        int32_t fog = d.Fog(), f = r.fog;
        if (!fog)
            return;
        if (wFog)
        {
            Line(text, "dp4 oFog, %s, c[3]\n", P);
            return;
        }
        Line(text, "dp4 r0.w, %s, c[3]\n", P);
        if (fog == 1)
        {
            Line(text, "mad oFog, r0.w, c[%d].x, c[%d].y\n", f, f);
            return;
        }
        Line(text, "mul r0.w, r0.w, c[%d].x\n", f);
        if (fog == 3)
            Line(text, "mul r0.w, r0.w, r0.w\n");
        Line(text, "expp r0.w, r0.w\n");
        Line(text, "rcp oFog, r0.w\n");
    }

    void Normalise()
    {
        if (!normals || !(d.flags & kVsNormalise))
            return;
        Line(text, "dp3 r5.w, %s, %s\n", N, N);
        Line(text, "rsq r5.w, r5.w\n");
        Line(text, "mul r5.xyz, %s, r5.w\n", N);
        N = "r5";
    }

    // Adds one light's colour (register colour, component i of r6) to the sum; the last
    // light writes the output itself unless the material colour follows.
    void AddColour(int32_t colour, int32_t i)
    {
        if (remaining < 2 && !(d.flags & kVsMaterialColour))
            Line(text, "mad oD0, c[%d], r6.%c, r11\n", colour, kLetters[i]);
        else
            Line(text, "mad r11.xyz, c[%d].xyz, r6.%s, r11.xyz\n", colour, kReplicated[i]);
        --remaining;
    }

    void Colour()
    {
        bool prelit = d.flags & kVsPrelit, material = d.flags & kVsMaterialColour;
        int32_t lights = d.Directional() + d.Points() + d.Spots();
        if (!normals || lights == 0)
        {
            if (!material)
            {
                Line(text, prelit ? "add oD0, v4, c[4]\n" : "mov oD0, c[4]\n");
                return;
            }
            Line(text, prelit ? "add r11, v4, c[4]\n" : "mov r11, c[4]\n");
            Line(text, "mul oD0, r11, c[%d]\n", r.materialColour);
            return;
        }
        Line(text, prelit ? "add r11, v4, c[4]\n" : "mov r11, c[4]\n");
        remaining = lights;

        int32_t g = 6;
        for (int32_t first = 0; first < d.Directional(); first += 4, g += 8)
        {
            int32_t n = d.Directional() - first < 4 ? d.Directional() - first : 4;
            for (int32_t i = 0; i < n; ++i)
                Line(text, "dp3 r6.%c, c[%d], %s\n", kLetters[i], g - 1 + 2 * i, N);
            Line(text, "max r6.%s, c[5].w, -r6.%s\n", kMasks[n], kMasks[n]);
            for (int32_t i = 0; i < n; ++i)
                AddColour(g + 2 * i, i);
        }

        g = layout.pointBase;
        for (int32_t first = 0; first < d.Points(); first += 4)
        {
            int32_t n = d.Points() - first < 4 ? d.Points() - first : 4;
            const char* mask = kMasks[n];
            for (int32_t i = 0; i < n; ++i)
            {
                char w = kLetters[i];
                Line(text, "add r7.xyz, -c[%d].xyz, %s.xyz\n", g + 1 + 2 * i, P);
                Line(text, "dp3 r1.%c, r7, r7\n", w);
                Line(text, "rsq r1.%c, r1.%c\n", w, w);
                Line(text, "dp3 r6.%c, %s, r7\n", w, N);
            }
            Line(text, "max r8.%s, c[%d].%s, r1.%s\n", mask, g, mask, mask);
            Line(text, "max r6.%s, c[%d].wwww, -r6.%s\n", mask, g + 1, mask);
            Line(text, "add r8.%s, -c[%d].%s, r8.%s\n", mask, g, mask, mask);
            Line(text, "mul r6.%s, r6.%s, r8.%s\n", mask, mask, mask);
            for (int32_t i = 0; i < n; ++i)
                AddColour(g + 2 + 2 * i, i);
            g += 1 + 2 * n;
        }

        g = layout.spotBase;
        for (int32_t first = 0; first < d.Spots(); first += 4)
        {
            int32_t n = d.Spots() - first < 4 ? d.Spots() - first : 4;
            const char* mask = kMasks[n];
            for (int32_t i = 0; i < n; ++i)
            {
                char w = kLetters[i];
                int32_t cone = g + 3 + 4 * i;
                Line(text, "add r7.xyz, -c[%d].xyz, %s.xyz\n", cone - 2, P);
                Line(text, "dp3 r1.%c, r7, r7\n", w);
                Line(text, "rsq r1.%c, r1.%c\n", w, w);
                Line(text, "dp3 r6.%c, %s, r7\n", w, N);
                Line(text, "mul r7.xyz, r7.xyz, r1.%c\n", w);
                Line(text, "dp3 r7.w, r7, c[%d]\n", cone - 1);
                Line(text, "mad r9.%c, r7.w, c[%d].x, c[%d].y\n", w, cone, cone);
            }
            Line(text, "max r8.%s, c[%d].%s, r1.%s\n", mask, g, mask, mask);
            Line(text, "max r9.%s, c[%d].wwww, r9.%s\n", mask, g + 1, mask);
            Line(text, "max r6.%s, c[%d].wwww, -r6.%s\n", mask, g + 1, mask);
            Line(text, "add r8.%s, -c[%d].%s, r8.%s\n", mask, g, mask, mask);
            Line(text, "mul r6.%s, r6.%s, r8.%s\n", mask, mask, mask);
            Line(text, "mul r6.%s, r6.%s, r9.%s\n", mask, mask, mask);
            for (int32_t i = 0; i < n; ++i)
                AddColour(g + 4 + 4 * i, i);
            g += 1 + 4 * n;
        }

        if (material)
            Line(text, "mul oD0, r11, c[%d]\n", r.materialColour);
    }

    // Kinds 8 and 9: the light vector of the first light in tangent space. The lines read
    // c[5]-c[8], which the plug-in drawing these kinds uploads.
    void TangentFrame()
    {
        int32_t bones = d.Bones(), kind = d.EffectKind(), e = r.effect;
        bool normalise = d.flags & kVsNormalise, prelit = d.flags & kVsPrelit;
        if (!bones)
            Line(text, "mov r4, v13\n");
        else
        {
            if (bones == 1)
                Line(text, "m3x3 r4.xyz, v13, c[a0.x + %d]\n", r.bones);
            else
                Line(text, "m3x3 r4.xyz, v13, r8\n");
            if (normalise)
            {
                Line(text, "dp3 r4.w, r4, r4\n");
                Line(text, "rsq r4.w, r4.w\n");
                Line(text, "mul r4.xyz, r4, r4.w\n");
            }
        }
        Line(text, "slt r4.w, v13.w, v13.w\n");
        if ((d.flags & kVsMorph) || bones)
            Line(text, "mov %s.w, v3.w\n", N);
        Line(text, "mul r2, r4.zxyw, %s.yzxw\n", N);
        Line(text, "mad r2, r4.yzxw, %s.zxyw, -r2\n", N);
        if (normalise)
        {
            Line(text, "dp3 r2.w, r2, r2\n");
            Line(text, "rsq r2.w, r2.w\n");
            Line(text, "mul r2.xyz, r2, r2.w\n");
        }
        if (prelit)
            Line(text, "mov oD0, v4\n");

        bool directional = d.Directional() > 0;
        bool any = directional || d.Points() || d.Spots();
        if (directional)
        {
            Line(text, "dp3 r1.x, c[5], r4\n");
            Line(text, "dp3 r1.y, c[5], r2\n");
            Line(text, "dp3 r1.z, c[5], %s\n", N);
            Line(text, "dp3 r1.w, r1, r1\n");
            Line(text, "rsq r1.w, r1.w\n");
            Line(text, "mul r1.xyz, r1, r1.w\n");
        }
        else if (any)
        {
            bool spot = !d.Points();
            Line(text, "add r7.xyz, -c[1 + 5].xyz, %s.xyz\n", P);
            Line(text, "dp3 r7.w, r7, r7\n");
            Line(text, "rsq r7.w, r7.w\n");
            Line(text, "mul r7.xyz, r7, r7.w\n");
            if (spot)
            {
                Line(text, "dp3 r9.w, r7, c[2 + 5]\n");
                Line(text, "mad r9.w, r9.w, c[3 + 5].x, c[3 + 5].y\n");
            }
            Line(text, "rcp r7.w, r7.w\n");
            Line(text, "mad r7.w, r7.w, c[5].x, c[5].y\n");
            Line(text, "max r7.w, r7.w, c[5].w\n");
            if (spot)
                Line(text, "max r9.w, r9.w, c[5].w\n");
            Line(text, "dp3 r1.x, r7, r4\n");
            Line(text, "dp3 r1.y, r7, r2\n");
            Line(text, "dp3 r1.z, r7, %s\n", N);
            Line(text, "dp3 r1.w, r1, r1\n");
            Line(text, "rsq r1.w, r1.w\n");
            Line(text, "mul r1.xyz, r1, r1.w\n");
            Line(text, "mul r1.xyz, r1, r7.w\n");
            if (spot)
                Line(text, "mul r1.xyz, r1, r9.w\n");
        }
        if (any)
        {
            const char* target = kind == 8 ? "oT2" : prelit ? "oD1" : "oD0";
            char c = directional ? 'w' : 'z';
            Line(text, "mad %s.xyz, r1, c[5].%c, c[5].%c\n", target, c, c);
        }
        if (kind == 9)
        {
            for (int32_t t = 0; t < 2; ++t)
            {
                Line(text, "dp3 oT%d.x, c[%d], r4\n", 2 + t, e + t);
                Line(text, "dp3 oT%d.y, c[%d], r2\n", 2 + t, e + t);
                Line(text, "dp3 oT%d.z, c[%d], %s\n", 2 + t, e + t, N);
            }
        }
        Line(text, "mov oT0.xy, v%d\n", d.TextureSets() + 4);
        Line(text, "mov oT1.xy, v5\n");
    }

    void Kind1(int32_t e)
    {
        Line(text, "dp3 r9.x, %s, c[%d]\n", N, e);
        Line(text, "dp3 r9.y, %s, c[%d]\n", N, e + 1);
        Line(text, "mov oT0.xy, v5\n");
        Line(text, "add oT1.xy, r9.xy, v5.xy\n");
    }

    void Reflection(int32_t eye)
    {
        Line(text, "add r7.xyz, c[%d].xyz, -%s.xyz\n", eye, P);
        Line(text, "dp3 r7.w, r7, r7\n");
        Line(text, "rsq r7.w, r7.w\n");
        Line(text, "mul r7.xyz, r7, r7.w\n");
        Line(text, "dp3 r7.w, r7, %s\n", N);
        Line(text, "add r7.w, r7.w, r7.w\n");
        Line(text, "mad r7, r7.w, %s, -r7\n", N);
    }

    void Reflected(int32_t unit, int32_t first)
    {
        Line(text, "dp3 oT%d.x, r7, c[%d]\n", unit, first);
        Line(text, "dp3 oT%d.y, r7, c[%d]\n", unit, first + 1);
        Line(text, "dp3 oT%d.z, r7, c[%d]\n", unit, first + 2);
    }

    void TextureOutputs()
    {
        int32_t kind = d.EffectKind(), sets = d.TextureSets(), e = r.effect;
        switch (kind)
        {
        case 1:
            Kind1(e);
            break;
        case 2:
            if (sets)
            {
                Line(text, "mov oT0.xy, v5\n");
                Line(text, "dp4 oT1.x, %s, c[%d]\n", N, e);
                Line(text, "dp4 oT1.y, %s, c[%d]\n", N, e + 1);
            }
            else
            {
                Line(text, "dp4 oT0.x, %s, c[%d]\n", N, e);
                Line(text, "dp4 oT0.y, %s, c[%d]\n", N, e + 1);
            }
            break;
        case 3:
            Line(text, "dp4 oT2.x, %s, c[%d]\n", N, e + 2);
            Line(text, "dp4 oT2.y, %s, c[%d]\n", N, e + 3);
            Kind1(e);
            break;
        case 4:
            Line(text, "mov oT0.xy, v6\n");
            break;
        case 5:
            Line(text, "mov oT0.xy, v5\n");
            Line(text, "mov oT1.xy, v5\n");
            break;
        case 6:
        case 7:
            Line(text, "dp4 oT0.x, v%d, c[%d]\n", kind == 6 ? 5 : 6, e);
            Line(text, "dp4 oT0.y, v%d, c[%d]\n", kind == 6 ? 5 : 6, e + 1);
            break;
        case 8:
        case 9:
            break;
        case 10:
            Reflection(e);
            if (sets)
            {
                Line(text, "mov oT0.xy, v5\n");
                Reflected(1, e + 1);
            }
            else
                Reflected(0, e + 1);
            break;
        case 11:
            Kind1(e);
            Reflection(e + 2);
            Reflected(2, e + 3);
            break;
        default:
            for (int32_t i = 0; i < sets; ++i)
                Line(text, "mov oT%u.xy, v%u\n", unsigned(i), unsigned(5 + i));
            break;
        }
    }
};

bool Refuse()
{
    Error::Report(kCorePluginId, kErrBadArgument);
    return false;
}

} // namespace

VertexShaderSettings& VsSettings()
{
    static VertexShaderSettings settings{};
    return settings;
}

int32_t VertexShader::GenerateText(const VertexShaderDescriptor* descriptor, VertexShaderRegisters* registers,
                                   std::string* text)
{
    const VertexShaderSettings& s = VsSettings();
    const VertexShaderDescriptor& d = *descriptor;
    Layout layout;
    bool laidOut = Allocate(d, registers, &layout);
    if (s.model != kVsModel11 && s.model != kVsModel20 && s.model != kVsModel2x)
        return 0;
    // Four blend weights at most have a component letter each.
    int32_t kind = d.EffectKind();
    bool normals = (d.flags & kVsNormals) &&
                   (d.Directional() || d.Points() || d.Spots() || KindReadsNormal(kind));
    if (!laidOut || d.Bones() > 4 || (KindReadsNormal(kind) && !(d.flags & kVsNormals)))
        return Refuse();
    bool tangent = normals && (kind == 8 || kind == 9);
    // Inputs and outputs the text would name must exist and be declared: eight texture sets at most (oT0-oT7 from
    // v5-v12), and the kinds that read a set's coordinates need that set.
    int32_t sets = d.TextureSets();
    bool readsFirstSet = kind == 1 || kind == 3 || kind == 5 || kind == 6 || kind == 11 || tangent;
    if (sets > 8 || ((kind == 4 || kind == 7) && sets < 2) || (readsFirstSet && sets < 1))
        return Refuse();

    text->clear();
    Writer w{text, d, *registers, layout, s.model, normals};
    w.Version();
    w.Declarations(tangent);
    w.Position();
    w.Fog(s.wFog);
    w.Normalise();
    if (tangent)
        w.TangentFrame();
    else
        w.Colour();
    w.TextureOutputs();
    return 1;
}

IDirect3DVertexShader9* VertexShader::Generate(const VertexShaderDescriptor* descriptor,
                                               VertexShaderRegisters* registers)
{
    std::string text;
    if (!GenerateText(descriptor, registers, &text))
        return nullptr;
    ID3DXBuffer* tokens = nullptr;
    IDirect3DVertexShader9* shader = nullptr;
    HRESULT result = D3DXAssembleShader(text.c_str(), UINT(text.size()), nullptr, nullptr,
                                        D3DXSHADER_SKIPOPTIMIZATION, &tokens, nullptr);
    if (result >= 0 && tokens)
        D3D9Device::CreateVertexShader(static_cast<const DWORD*>(tokens->GetBufferPointer()), &shader);
    if (tokens)
        tokens->Release();
    return shader;
}

int32_t VertexShader::CountConstants(const VertexShaderDescriptor* descriptor)
{
    const VertexShaderDescriptor& d = *descriptor;
    int32_t next = 5 + 2 * d.Directional();
    next += (d.Points() + 3) / 4 + 2 * d.Points();
    next += (d.Spots() + 3) / 4 + 4 * d.Spots();
    if (d.flags & kVsMaterialColour)
        ++next;
    if (d.Fog())
        ++next;
    if (d.flags & kVsMorph)
        ++next;
    return next + VsSettings().effectCounts[d.EffectKind()];
}
