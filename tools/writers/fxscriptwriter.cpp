// Effect-script text from emitter definitions.
#include "fxscriptwriter.h"

#include "kemitterdef.h"
#include "kparser.h"
#include "ktrack.h"
#include "matrix.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace
{
/// The shortest text that reads back as the same float.
std::string Number(float value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    return std::string(buffer, result.ptr);
}

bool SameFloats(const float* a, const float* b, int32_t n)
{
    return std::memcmp(a, b, size_t(n) * sizeof(float)) == 0;
}

bool SameOptions(const KTrackOptions& a, const KTrackOptions& b)
{
    return a.lMode == b.lMode && a.iMode == b.iMode && a.tMode == b.tMode && a.animSpeed == b.animSpeed &&
           a.animAcceleration == b.animAcceleration;
}

bool SameBody(const KTrack& a, const KTrack& b)
{
    return SameFloats(a.value, b.value, 4) && a.keys == b.keys && SameOptions(a.options, b.options);
}

const char* OptionWord(const char* option, int32_t value)
{
    int32_t count = 0;
    const KWord* words = KOptionWords(option, count);
    for (int32_t i = 0; i < count; ++i)
        if (words[i].value == value)
            return words[i].word;
    return "";
}

/// The direction and spin of a unit quaternion, as the orientation reader takes them.
void DirectionAndSpin(const float* q, float* direction, float* degrees)
{
    const float x = q[0], y = q[1], z = q[2], w = q[3];
    // The rows of the rotation: the images of +X and +Y.
    const Vector right = {1 - 2 * (y * y + z * z), 2 * (x * y + w * z), 2 * (x * z - w * y)};
    const Vector up = {2 * (x * y - w * z), 1 - 2 * (x * x + z * z), 2 * (y * z + w * x)};
    direction[0] = up.x;
    direction[1] = up.y;
    direction[2] = up.z;
    Matrix aligned{};
    KDirectionToMatrixY(&aligned, direction, 0);
    const Vector& r = aligned.right;
    const Vector cross = {r.y * right.z - r.z * right.y, r.z * right.x - r.x * right.z, r.x * right.y - r.y * right.x};
    const float sine = cross.x * up.x + cross.y * up.y + cross.z * up.z;
    const float cosine = r.x * right.x + r.y * right.y + r.z * right.z;
    const double angle = std::atan2(double(sine), double(cosine)) * 180.0 / 3.14159265358979323846;
    // The spin is read in tenths of a degree.
    *degrees = float(std::round(angle * 10.0) / 10.0);
    if (*degrees < 0)
        *degrees += 360.0f;
    if (*degrees >= 360.0f)
        *degrees -= 360.0f;
    *degrees += 0.0f; // no negative zero
}

std::string Components(KTrackType type, const float* v)
{
    switch (type)
    {
    case kTrackScalar:
        return "V " + Number(v[0]);
    case kTrackVec2:
        return "X " + Number(v[0]) + " Y " + Number(v[1]);
    case kTrackVec3:
        return "X " + Number(v[0]) + " Y " + Number(v[1]) + " Z " + Number(v[2]);
    default:
    {
        float direction[3], degrees = 0;
        DirectionAndSpin(v, direction, &degrees);
        return "X " + Number(direction[0]) + " Y " + Number(direction[1]) + " Z " + Number(direction[2]) + " A " +
               Number(degrees);
    }
    }
}

/// "{ options components keys }" of a value track.
std::string Body(const KTrack& t)
{
    const KTrackOptions defaults;
    std::string s = "{ ";
    if (t.options.lMode != defaults.lMode)
        s += std::string("LMode ") + OptionWord("LMode", t.options.lMode) + " ";
    if (t.options.iMode != defaults.iMode)
        s += std::string("IMode ") + OptionWord("IMode", t.options.iMode) + " ";
    if (t.options.tMode != defaults.tMode)
        s += std::string("TMode ") + OptionWord("TMode", t.options.tMode) + " ";
    if (t.options.animSpeed != defaults.animSpeed)
        s += "AnimSpeed " + Number(t.options.animSpeed) + " ";
    if (t.options.animAcceleration != defaults.animAcceleration)
        s += "AnimAcceleration " + Number(t.options.animAcceleration) + " ";
    s += Components(t.type, t.value) + " ";
    const int32_t stride = t.KeyFloats();
    for (int32_t k = 0; k < t.KeyCount(); ++k)
    {
        const float* key = t.keys.data() + k * stride;
        s += "TIME " + Number(key[0]) + " { " + Components(t.type, key + 1) + " } ";
    }
    return s + "}";
}

/// An emitter-section track (or shape parameter) under its statement name.
void EmitterTrack(std::string& out, const std::string& name, const KTrack& t, const KTrack& defaults)
{
    if (!SameBody(t, defaults))
        out += "        " + name + " " + Body(t) + "\n";
    if (!SameFloats(t.bias, defaults.bias, 4))
        out += "        " + name + " BIAS { " + Components(t.type, t.bias) + " }\n";
}

std::string Vector3(const float* v)
{
    return "{ X " + Number(v[0]) + " Y " + Number(v[1]) + " Z " + Number(v[2]) + " }";
}

std::string EmitterSection(const KEmitterDef& def)
{
    const KEmitterDef reference;
    const KEmitterSection& e = def.emitterSection;
    const KEmitterSection& d = reference.emitterSection;
    std::string s;
    const std::vector<const KTrack*> tracks = e.Tracks(), defaults = d.Tracks();
    for (size_t i = 0; i < tracks.size(); ++i)
        EmitterTrack(s, tracks[i]->name, *tracks[i], *defaults[i]);
    // Every kind keeps its parameters; the selected one is written last, as a later SHAPE
    // statement selects its kind.
    if (e.shape.kind != kShapeNone)
    {
        for (int32_t kind = 1; kind < kShapeKindCount; ++kind)
        {
            if (kind == e.shape.kind)
                continue;
            std::string one;
            EmitterTrack(one, std::string("SHAPE ") + KShapeKindWord(kind), e.shape.parameters[size_t(kind - 1)],
                         d.shape.parameters[size_t(kind - 1)]);
            s += one;
        }
        const KTrack& selected = *e.shape.Selected();
        s += std::string("        SHAPE ") + KShapeKindWord(e.shape.kind) + " " + Body(selected) + "\n";
        if (!SameFloats(selected.bias, d.shape.parameters[size_t(e.shape.kind - 1)].bias, 4))
            s += std::string("        SHAPE ") + KShapeKindWord(e.shape.kind) + " BIAS { " +
                 Components(selected.type, selected.bias) + " }\n";
    }
    return s.empty() ? s : "    SECTION EMT {\n" + s + "    }\n";
}

std::string ParticleSection(const KEmitterDef& def)
{
    const KEmitterDef reference;
    const KParticleSection& p = def.particleSection;
    const KParticleSection& d = reference.particleSection;
    std::string s;
    const std::vector<const KTrack*> tracks = p.Tracks(), defaults = d.Tracks();
    for (size_t i = 0; i < tracks.size(); ++i)
    {
        const KTrack& t = *tracks[i];
        if (!SameBody(t, *defaults[i]))
            s += std::string("        ") + t.name + " " + Body(t) + "\n";
        if (t.biasTrack && !SameBody(*t.biasTrack, *defaults[i]->biasTrack))
            s += std::string("        ") + t.name + " BIAS " + Body(*t.biasTrack) + "\n";
        if (t.biasScaleTrack && !SameBody(*t.biasScaleTrack, *defaults[i]->biasScaleTrack))
            s += std::string("        ") + t.name + " BIASSCALE " + Body(*t.biasScaleTrack) + "\n";
    }
    const KRp& rp = p.rp;
    if (rp.mode != d.rp.mode || !SameFloats(rp.axis, d.rp.axis, 3) || rp.angle != d.rp.angle)
        s += std::string("        RP { RpMode ") + KRpModeWord(rp.mode) + " X " + Number(rp.axis[0]) + " Y " +
             Number(rp.axis[1]) + " Z " + Number(rp.axis[2]) + " A " + Number(rp.angle) + " }\n";
    if (rp.HasBias())
        s += "        RP BIAS { X " + Number(rp.biasAxis[0]) + " Y " + Number(rp.biasAxis[1]) + " Z " +
             Number(rp.biasAxis[2]) + " A " + Number(rp.biasAngle) + " }\n";
    const KConstraints& c = p.constraints;
    if (c.IsSet())
    {
        s += "        CONSTRAINTS {";
        if (c.HasUp())
            s += " UP " + Vector3(c.up);
        if (c.HasRight())
            s += " RIGHT " + Vector3(c.right);
        if (c.HasUpBias())
            s += " UPBIAS " + Vector3(c.upBias);
        if (c.HasRightBias())
            s += " RIGHTBIAS " + Vector3(c.rightBias);
        if (c.upFollowsSpeed)
            s += " UPFOLLOWSPEED";
        if (c.sizeYFollowsSpeed)
            s += " SIZEYFOLLOWSPEED " + Number(c.sizeYFactor * 10.0f);
        s += " }\n";
    }
    return s.empty() ? s : "    SECTION PRT {\n" + s + "    }\n";
}

std::string FrameSection(const KEmitterDef& def)
{
    const FxFrameSectionParser defaults;
    if (std::memcmp(def.frameSection.frames, defaults.frames, sizeof(defaults.frames)) == 0)
        return "";
    std::string s = "    SECTION FRAME {";
    for (int32_t q = 0; q < FxFrameSectionParser::kQuantityCount; ++q)
        s += std::string(" ") + KFrameQuantityWord(q) +
             (def.frameSection.frames[q] == FxFrameSectionParser::kEmitter ? " EMITTER" : " WORLD");
    return s + " }\n";
}
} // namespace

std::string FxScriptWriter::Block(const KEmitterDef& d)
{
    std::string s = "{\n";
    auto line = [&s](const std::string& keyword, const std::string& value)
    { s += "    " + keyword + " " + value + "\n"; };
    auto word = [&](const char* keyword, int32_t value) { line(keyword, KDefinitionWord(keyword, value)); };
    line("BatchSize", std::to_string(d.batchSize));
    word("CullMode", d.cullMode);
    word("SrcBlend", d.srcBlend);
    word("DstBlend", d.dstBlend);
    word("Transparency", d.transparency);
    if (d.texture)
        line("Texture", d.textureName);
    word("TexturePerspective", d.texturePerspective);
    word("ZTest", d.zTest);
    word("ZWrite", d.zWrite);
    word("Group", d.group);
    line("MaxPrt", std::to_string(d.maxParticles));
    line("PrtLife", Number(d.particleLife));
    line("PrtLifeBias", Number(d.particleLifeBias));
    line("StartTime", Number(d.startTime));
    line("EndTime", Number(d.endTime));
    line("BBCenter", Number(d.quadCentre[0]) + " " + Number(d.quadCentre[1]));
    line("Priority", std::to_string(d.priority));
    line("PreAlloc", std::to_string(d.preAlloc));
    // GhostMode sets ForceUpdate as it is read: ForceUpdate comes after it.
    word("GhostMode", d.ghostMode);
    word("ForceUpdate", d.forceUpdate);
    word("OrientationMode", d.orientationMode);
    s += EmitterSection(d);
    s += ParticleSection(d);
    s += FrameSection(d);
    return s + "}\n";
}

std::string FxScriptWriter::Script(const std::vector<const KEmitterDef*>& defs)
{
    std::string s;
    for (const KEmitterDef* def : defs)
        s += Block(*def);
    return s;
}

bool FxScriptWriter::WriteFile(const std::string& path, const std::vector<const KEmitterDef*>& defs)
{
    const std::string text = Script(defs);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}
