// The emitter definition: defaults, definition keywords and the block grammar.
#include "kemitterdef.h"

#include "hbmath.h"
#include "kparser.h"
#include "texture.h"
#include "wtexturemanager.h"

#include <climits>
#include <cstring>

namespace
{
constexpr KWord kBooleanWords[] = {{"TRUE", 1}, {"FALSE", 0}};
constexpr KWord kCullWords[] = {{"CULLNONE", 1}, {"CULLBACK", 2}, {"CULLFRONT", 3}};
constexpr KWord kGroupWords[] = {{"BEFORECHARACTER", 1}, {"AFTERCHARACTER", 2}};
constexpr KWord kOrientationWords[] = {{"CAMERA_ORIENTED", 0}, {"VIEWPOINT_ORIENTED", 1}};
constexpr KWord kBlendWords[] = {{"vzBLENDZERO", 1},          {"vzBLENDONE", 2},          {"vzBLENDSRCCOLOR", 3},
                                 {"vzBLENDINVSRCCOLOR", 4},   {"vzBLENDSRCALPHA", 5},     {"vzBLENDINVSRCALPHA", 6},
                                 {"vzBLENDDESTALPHA", 7},     {"vzBLENDINVDESTALPHA", 8}, {"vzBLENDDESTCOLOR", 9},
                                 {"vzBLENDINVDESTCOLOR", 10}, {"vzBLENDSRCALPHASAT", 11}};

enum Keyword : int32_t
{
    kBatchSize,
    kCullMode,
    kSrcBlend,
    kDstBlend,
    kTransparency,
    kGhostMode,
    kTexture,
    kTexturePerspective,
    kZTest,
    kZWrite,
    kGroup,
    kMaxPrt,
    kPrtLife,
    kPrtLifeBias,
    kStartTime,
    kEndTime,
    kBBCenter,
    kPriority,
    kPreAlloc,
    kForceUpdate,
    kOrientationMode,
};

constexpr KWord kKeywords[] = {{"BatchSize", kBatchSize},
                               {"CullMode", kCullMode},
                               {"SrcBlend", kSrcBlend},
                               {"DstBlend", kDstBlend},
                               {"Transparency", kTransparency},
                               {"GhostMode", kGhostMode},
                               {"Texture", kTexture},
                               {"TexturePerspective", kTexturePerspective},
                               {"ZTest", kZTest},
                               {"ZWrite", kZWrite},
                               {"Group", kGroup},
                               {"MaxPrt", kMaxPrt},
                               {"PrtLife", kPrtLife},
                               {"PrtLifeBias", kPrtLifeBias},
                               {"StartTime", kStartTime},
                               {"EndTime", kEndTime},
                               {"BBCenter", kBBCenter},
                               {"Priority", kPriority},
                               {"PreAlloc", kPreAlloc},
                               {"ForceUpdate", kForceUpdate},
                               {"OrientationMode", kOrientationMode}};

constexpr const char* kOutOfRange = "Value out of range \n";

Texture* ManagerTexture(const char* id)
{
    WTextureManager* manager = WTextureManager::Instance();
    return manager ? manager->GetTexture(id) : nullptr;
}

KEmitterDef::TextureSource gTextureSource = ManagerTexture;

template <typename Table> int32_t Word(KParser& parser, const Table& table, int32_t& out)
{
    if (KLookupWord(table, parser.GetToken(), out))
        return 1;
    parser.ReportExpected("", KWordList(table));
    return 0;
}

float Real(const KParser& parser)
{
    return float(HbAtoF(parser.GetToken().c_str()));
}
} // namespace

const char* KDefinitionWord(const char* keyword, int32_t value)
{
    const std::string_view k = keyword;
    auto find = [value](const auto& table) -> const char*
    {
        for (const KWord& w : table)
            if (w.value == value)
                return w.word;
        return "";
    };
    if (k == "CullMode")
        return find(kCullWords);
    if (k == "SrcBlend" || k == "DstBlend")
        return find(kBlendWords);
    if (k == "Group")
        return find(kGroupWords);
    if (k == "OrientationMode")
        return find(kOrientationWords);
    return find(kBooleanWords);
}

int32_t KAtoI(const char* text)
{
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
    {
        value = value * 10 + (*text - '0');
        if (value > int64_t(INT_MAX) + 1)
            value = int64_t(INT_MAX) + 1;
    }
    value = negative ? -value : value;
    if (value > INT_MAX)
        value = INT_MAX;
    return int32_t(value);
}

void KEmitterDef::SetTextureSource(TextureSource source)
{
    gTextureSource = source ? source : ManagerTexture;
}

KEmitterDef::KEmitterDef() : particleSection(emitterSection) {}

KEmitterDef::~KEmitterDef()
{
    if (texture)
        Texture::Destroy(texture);
}

int32_t KEmitterDef::RunKeyword(int32_t keyword, KParser& parser)
{
    const char* token = parser.GetToken().c_str();
    int32_t number = 0;
    switch (keyword)
    {
    case kBatchSize:
        number = KAtoI(token);
        if (number < 1)
        {
            parser.Report(kOutOfRange);
            return 0;
        }
        batchSize = number;
        return 1;
    case kMaxPrt:
        // The tank is made of this many particles: none or a huge count is refused here.
        number = KAtoI(token);
        if (number < 1 || number > kMaxParticlesLimit)
        {
            parser.Report(kOutOfRange);
            return 0;
        }
        maxParticles = number;
        return 1;
    case kPriority:
        // The render list inside the group is taken from it.
        number = KAtoI(token);
        if (number < 0 || number > kMaxPriority)
        {
            parser.Report(kOutOfRange);
            return 0;
        }
        priority = number;
        return 1;
    case kPreAlloc:
        // Entering a stage builds this many instances, each with its own tank.
        number = KAtoI(token);
        if (number < 0 || number > kMaxPreAlloc)
        {
            parser.Report(kOutOfRange);
            return 0;
        }
        preAlloc = number;
        return 1;
    case kPrtLife:
    {
        // Its reciprocal scales the particle time.
        const float life = Real(parser);
        if (!(life > 0.0f))
        {
            parser.Report(kOutOfRange);
            return 0;
        }
        particleLife = life;
        return 1;
    }
    case kPrtLifeBias:
        particleLifeBias = Real(parser);
        fixedLife = particleLifeBias == 0.0f ? 1 : 0;
        return 1;
    case kStartTime:
        startTime = Real(parser);
        return 1;
    case kEndTime:
        endTime = Real(parser);
        return 1;
    case kBBCenter:
        quadCentre[0] = Real(parser);
        if (!parser.ReadToken())
            return 0;
        quadCentre[1] = Real(parser);
        return 1;
    case kCullMode:
        return Word(parser, kCullWords, cullMode);
    case kSrcBlend:
        return Word(parser, kBlendWords, srcBlend);
    case kDstBlend:
        return Word(parser, kBlendWords, dstBlend);
    case kTransparency:
        return Word(parser, kBooleanWords, transparency);
    case kGhostMode:
        if (!Word(parser, kBooleanWords, ghostMode))
            return 0;
        if (ghostMode)
            forceUpdate = 1;
        return 1;
    case kTexturePerspective:
        return Word(parser, kBooleanWords, texturePerspective);
    case kZTest:
        return Word(parser, kBooleanWords, zTest);
    case kZWrite:
        return Word(parser, kBooleanWords, zWrite);
    case kGroup:
        return Word(parser, kGroupWords, group);
    case kForceUpdate:
        return Word(parser, kBooleanWords, forceUpdate);
    case kOrientationMode:
        return Word(parser, kOrientationWords, orientationMode);
    case kTexture:
    {
        Texture* found = gTextureSource(token);
        if (!found)
        {
            parser.Report("Invalid texture id \n");
            return 0;
        }
        if (texture)
            Texture::Destroy(texture);
        texture = found;
        textureName = parser.GetToken();
        return 1;
    }
    default:
        return 0;
    }
}

int32_t KEmitterDef::Parse(KParser& parser)
{
    if (!parser.ReadToken())
        return 0;
    for (;;)
    {
        if (parser.IsClose())
            return 1;
        if (parser.Is("SECTION"))
        {
            if (!parser.ReadToken())
                return 0;
            int32_t ok;
            if (parser.Is("PRT"))
                ok = particleSection.Parse(parser);
            else if (parser.Is("EMT"))
                ok = emitterSection.Parse(parser);
            else if (parser.Is("FRAME"))
                ok = frameSection.Parse(parser);
            else
            {
                parser.ReportExpected("Section name invalid \n", "/PRT/EMT/FRAME");
                return 0;
            }
            if (!ok)
                return 0;
        }
        else
        {
            int32_t keyword = 0;
            if (!KLookupWord(kKeywords, parser.GetToken(), keyword))
            {
                parser.ReportExpected("unknown command \n", KWordList(kKeywords) + "/}/SECTION");
                return 0;
            }
            if (!parser.ReadToken() || !RunKeyword(keyword, parser))
                return 0;
        }
        if (!parser.ReadToken())
            return 0;
    }
}
