// Property tracks and sections: defaults and the text grammar of their blocks.
#include "ktrack.h"

#include "hbmath.h"

#include <cmath>
#include <cstring>

namespace
{
constexpr KWord kLModeWords[] = {{"CLAMP", kLModeClamp}, {"REPEAT", kLModeRepeat}};
constexpr KWord kIModeWords[] = {{"FOLLOW", kIModeFollow}, {"CONSTANT", kIModeConstant}, {"LINEAR", kIModeLinear}};
constexpr KWord kTModeWords[] = {{"NOMINAL", kTModeNominal}, {"REAL", kTModeReal}};
constexpr KWord kRpModeWords[] = {
    {"WORLD_ORIENTED", kRpWorldOriented}, {"SELF_ORIENTED", kRpSelfOriented}, {"SPEED_ORIENTED", kRpSpeedOriented}};
constexpr KWord kShapeWords[] = {{"SPHERE", kShapeSphere},       {"CYLINDER", kShapeCylinder},
                                 {"TORUS", kShapeTorus},         {"FILLEDCUBE", kShapeFilledCube},
                                 {"CUBE", kShapeCube},           {"LINE", kShapeLine},
                                 {"DISC", kShapeDisc},           {"CIRCLE", kShapeCircle},
                                 {"RECTANGLE", kShapeRectangle}, {"FILLEDRECTANGLE", kShapeFilledRectangle}};
constexpr KWord kFrameQuantityWords[] = {{"POSITION", FxFrameSectionParser::kPosition},
                                         {"SPEED", FxFrameSectionParser::kSpeed},
                                         {"FORCE", FxFrameSectionParser::kForce},
                                         {"BBAXIS", FxFrameSectionParser::kBbAxis}};
constexpr KWord kFrameWords[] = {{"WORLD", FxFrameSectionParser::kWorld}, {"EMITTER", FxFrameSectionParser::kEmitter}};
constexpr const char* kOptionNames[] = {"LMode", "IMode", "TMode", "AnimSpeed", "AnimAcceleration"};

constexpr int32_t kOk = 0;
constexpr int32_t kFail = 2;

std::string OptionList()
{
    std::string list;
    for (const char* option : kOptionNames)
    {
        list += '/';
        list += option;
    }
    return list;
}

void Normalise(float* v)
{
    const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length > 0.0f)
        for (int i = 0; i < 3; ++i)
            v[i] /= length;
}

/// "{" then "X", "Y", "Z" until "}" (other tokens skipped); 0 or 2.
int32_t ParseVectorBlock(KParser& parser, float* v)
{
    if (!parser.ExpectOpen() || !parser.ReadToken())
        return kFail;
    while (!parser.IsClose())
    {
        if (KReadVec3(parser, v) == 2 || !parser.ReadToken())
            return kFail;
    }
    return kOk;
}
} // namespace

// ---- Value tracks ------------------------------------------------------------------------------

KTrack::KTrack(const char* trackName, int32_t trackId, int32_t trackNumber, KTrackType trackType, float x, float y,
               float z)
    : name(trackName), id(trackId), number(trackNumber), type(trackType)
{
    if (type == kTrackOrientation)
    {
        value[3] = 1.0f;
        return;
    }
    value[0] = x;
    value[1] = y;
    value[2] = z;
}

bool KTrack::IsZero() const
{
    if (type == kTrackOrientation)
        return value[0] == 0 && value[1] == 0 && value[2] == 0 && (value[3] == 1.0f || value[3] == -1.0f);
    for (int32_t i = 0; i < int32_t(type); ++i)
        if (value[i] != 0.0f)
            return false;
    return true;
}

void KTrack::AppendKey(float time, const float* v)
{
    const int32_t stride = KeyFloats();
    const int32_t n = ValueFloats();
    const size_t start = keys.size();
    keys.resize(start + size_t(stride), 0.0f);
    float* key = keys.data() + start;
    key[0] = time;
    for (int32_t i = 0; i < n; ++i)
        key[1 + i] = v[i];
    if (type == kTrackOrientation || start == 0)
        return;
    float* previous = key - stride;
    const float dt = time - previous[0];
    for (int32_t i = 0; i < n; ++i)
        previous[1 + n + i] = dt != 0.0f ? (v[i] - previous[1 + i]) / dt : 0.0f;
}

std::string KTrack::Selectors() const
{
    switch (type)
    {
    case kTrackScalar:
        return "/V";
    case kTrackVec2:
        return "/X/Y";
    case kTrackVec3:
        return "/X/Y/Z";
    default:
        return "/X/Y/Z/A";
    }
}

int32_t KTrack::ReadComponent(KParser& parser, float* destination, KOrientationReader& reader)
{
    switch (type)
    {
    case kTrackScalar:
        return KReadScalar(parser, destination);
    case kTrackVec2:
        return KReadVec2(parser, destination);
    case kTrackVec3:
        return KReadVec3(parser, destination);
    default:
        return KReadOrientation(parser, reader, reinterpret_cast<Quat*>(destination));
    }
}

int32_t KTrack::ParseBody(KParser& parser)
{
    while (!parser.IsClose())
    {
        const std::string& token = parser.GetToken();
        int32_t option = -1;
        for (int32_t i = 0; i < 5; ++i)
            if (token == kOptionNames[i])
                option = i;
        if (option >= 0)
        {
            if (!parser.ReadToken())
                return kFail;
            if (option >= 3)
            {
                const float f = float(HbAtoF(parser.GetToken().c_str()));
                (option == 3 ? options.animSpeed : options.animAcceleration) = f;
            }
            else
            {
                const KWord* table = option == 0 ? kLModeWords : option == 1 ? kIModeWords : kTModeWords;
                const int32_t count = option == 1 ? 3 : 2;
                int32_t word = 0;
                bool found = false;
                for (int32_t i = 0; i < count; ++i)
                    if (parser.GetToken() == table[i].word)
                    {
                        word = table[i].value;
                        found = true;
                    }
                if (!found)
                {
                    std::string list;
                    for (int32_t i = 0; i < count; ++i)
                        list += std::string("/") + table[i].word;
                    parser.ReportExpected("", list);
                    return kFail;
                }
                (option == 0 ? options.lMode : option == 1 ? options.iMode : options.tMode) = word;
            }
        }
        else
        {
            const int32_t r = ReadComponent(parser, value, mReader);
            if (r == 2)
                return kFail;
            if (r == 1)
            {
                if (token != "TIME")
                {
                    parser.ReportExpected("", OptionList() + "/TIME" + Selectors());
                    return kFail;
                }
                if (!parser.ReadToken())
                    return kFail;
                const float time = float(HbAtoF(parser.GetToken().c_str()));
                if (!parser.ExpectOpen() || !parser.ReadToken())
                    return kFail;
                float keyValue[4] = {0, 0, 0, type == kTrackOrientation ? 1.0f : 0.0f};
                // Every keyframe starts afresh: components it leaves out are zero.
                KOrientationReader keyReader;
                while (!parser.IsClose())
                {
                    const int32_t c = ReadComponent(parser, keyValue, keyReader);
                    if (c == 1)
                        parser.ReportExpected("", Selectors());
                    if (c != 0 || !parser.ReadToken())
                        return kFail;
                }
                AppendKey(time, keyValue);
                if (!parser.ExpectClose())
                    return kFail;
            }
        }
        if (!parser.ReadToken())
            return kFail;
    }
    return kOk;
}

int32_t KTrack::ParseComponentBlock(KParser& parser, float* destination)
{
    float v[4] = {0, 0, 0, type == kTrackOrientation ? 1.0f : 0.0f};
    KOrientationReader reader;
    if (!parser.ReadToken())
        return kFail;
    while (!parser.IsClose())
    {
        const int32_t c = ReadComponent(parser, v, reader);
        if (c == 1)
            parser.ReportExpected("", Selectors());
        if (c != 0 || !parser.ReadToken())
            return kFail;
    }
    std::memcpy(destination, v, sizeof(v));
    return kOk;
}

int32_t KTrack::ParseEmitter(KParser& parser)
{
    std::string sub;
    if (!parser.ExpectOpenNamed(sub))
        return kFail;
    if (sub.empty() || sub == "VALUE")
    {
        if (!parser.ReadToken() || ParseBody(parser) != kOk)
            return kFail;
        return parser.ExpectClose() ? kOk : kFail;
    }
    if (sub == "BIAS")
    {
        if (ParseComponentBlock(parser, bias) != kOk)
            return kFail;
        return parser.ExpectClose() ? kOk : kFail;
    }
    // Any other sub-block is left unread: the section goes on inside its braces.
    return kOk;
}

int32_t KTrack::ParseParticle(KParser& parser)
{
    std::string sub;
    if (!parser.ExpectOpenNamed(sub))
        return kFail;
    KTrack* target = nullptr;
    if (sub.empty() || sub == "VALUE")
        target = this;
    else if (sub == "BIAS")
        target = biasTrack;
    else if (sub == "BIASSCALE")
        target = biasScaleTrack;
    if (!target)
    {
        parser.ReportExpected("", "/BIAS/BIASSCALE/VALUE/{");
        return kFail;
    }
    if (!parser.ReadToken() || target->ParseBody(parser) != kOk)
        return kFail;
    return parser.ExpectClose() ? kOk : kFail;
}

// ---- Shape, RP, constraints --------------------------------------------------------------------

KShape::KShape()
{
    constexpr int32_t id = 13, number = KTrackNumber::kShape;
    parameters.reserve(10);
    parameters.emplace_back("SPHERE", id, number, kTrackScalar, 10.0f);
    parameters.emplace_back("CYLINDER", id, number, kTrackVec3, 60.0f, 40.0f, 20.0f);
    parameters.emplace_back("TORUS", id, number, kTrackVec2, 40.0f, 10.0f);
    parameters.emplace_back("FILLEDCUBE", id, number, kTrackVec3, 60.0f, 40.0f, 20.0f);
    parameters.emplace_back("CUBE", id, number, kTrackVec3, 60.0f, 40.0f, 20.0f);
    parameters.emplace_back("LINE", id, number, kTrackScalar, 50.0f);
    parameters.emplace_back("DISC", id, number, kTrackScalar, 50.0f);
    parameters.emplace_back("CIRCLE", id, number, kTrackScalar, 50.0f);
    parameters.emplace_back("RECTANGLE", id, number, kTrackVec2, 25.0f, 50.0f);
    parameters.emplace_back("FILLEDRECTANGLE", id, number, kTrackVec2, 50.0f, 30.0f);
}

int32_t KShape::Parse(KParser& parser)
{
    if (!parser.ReadToken())
        return kFail;
    int32_t k = 0;
    if (!KLookupWord(kShapeWords, parser.GetToken(), k))
    {
        parser.ReportExpected("", KWordList(kShapeWords));
        return kFail;
    }
    kind = k;
    return parameters[size_t(k - 1)].ParseEmitter(parser);
}

bool KRp::HasBias() const
{
    return biasAxis[0] != 0 || biasAxis[1] != 0 || biasAxis[2] != 0 || biasAngle != 0;
}

int32_t KRp::Parse(KParser& parser)
{
    std::string sub;
    if (!parser.ExpectOpenNamed(sub))
        return kFail;
    const bool isBias = sub == "BIAS";
    if (!isBias && !sub.empty() && sub != "VALUE")
    {
        parser.ReportExpected("", "/BIAS/VALUE/{");
        return kFail;
    }
    if (!parser.ReadToken())
        return kFail;
    while (!parser.IsClose())
    {
        if (!isBias && parser.Is("RpMode"))
        {
            if (!parser.ReadToken())
                return kFail;
            if (!KLookupWord(kRpModeWords, parser.GetToken(), mode))
            {
                parser.ReportExpected("", KWordList(kRpModeWords));
                return kFail;
            }
        }
        else
        {
            const int32_t r =
                isBias ? KReadVec3Angle(parser, biasAxis, &biasAngle) : KReadVec3Angle(parser, axis, &angle);
            if (r == 1)
                parser.ReportExpected("", isBias ? "/X/Y/Z/A" : "/RpMode/X/Y/Z/A");
            if (r != 0)
                return kFail;
        }
        if (!parser.ReadToken())
            return kFail;
    }
    return parser.ExpectClose() ? kOk : kFail;
}

int32_t KConstraints::Parse(KParser& parser)
{
    if (!parser.ExpectOpen() || !parser.ReadToken())
        return kFail;
    while (!parser.IsClose())
    {
        if (parser.Is("UP") || parser.Is("RIGHT"))
        {
            float* v = parser.Is("UP") ? up : right;
            if (ParseVectorBlock(parser, v) != kOk)
                return kFail;
            Normalise(v);
        }
        else if (parser.Is("UPBIAS") || parser.Is("RIGHTBIAS"))
        {
            if (ParseVectorBlock(parser, parser.Is("UPBIAS") ? upBias : rightBias) != kOk)
                return kFail;
        }
        else if (parser.Is("UPFOLLOWSPEED"))
            upFollowsSpeed = true;
        else if (parser.Is("SIZEYFOLLOWSPEED"))
        {
            if (!parser.ReadToken())
                return kFail;
            const float f = float(HbAtoF(parser.GetToken().c_str()));
            if (f != 0.0f)
            {
                sizeYFollowsSpeed = true;
                sizeYFactor = f * 0.1f;
            }
        }
        else
            return kFail;
        if (!parser.ReadToken())
            return kFail;
    }
    return parser.ExpectClose() ? kOk : kFail;
}

// ---- Sections ----------------------------------------------------------------------------------

KEmitterSection::KEmitterSection()
    : size("SIZE", 1, KTrackNumber::kEmtSize, kTrackVec2, 100, 100),
      color("COLOR", 2, KTrackNumber::kEmtColor, kTrackVec3, 255, 255, 255),
      alpha("ALPHA", 3, KTrackNumber::kEmtAlpha, kTrackScalar, 255),
      rot2d("ROT2D", 4, KTrackNumber::kEmtRot2d, kTrackScalar),
      initVel("INITVEL", 6, KTrackNumber::kInitVel, kTrackScalar),
      initDir("INITDIR", 7, KTrackNumber::kInitDir, kTrackVec3, 0, 1, 0),
      force("FORCE", 8, KTrackNumber::kForce, kTrackVec3),
      position("POSITION", 9, KTrackNumber::kEmtPosition, kTrackVec3),
      orientation("ORIENTATION", 10, KTrackNumber::kOrientation, kTrackOrientation),
      gap("GAP", 11, KTrackNumber::kGap, kTrackScalar, 0.2f), emit("EMIT", 12, KTrackNumber::kEmit, kTrackScalar, 1.0f)
{
}

std::vector<KTrack*> KEmitterSection::Tracks()
{
    return {&size, &color, &alpha, &rot2d, &initVel, &initDir, &force, &position, &orientation, &gap, &emit};
}

std::vector<const KTrack*> KEmitterSection::Tracks() const
{
    return {&size, &color, &alpha, &rot2d, &initVel, &initDir, &force, &position, &orientation, &gap, &emit};
}

int32_t KEmitterSection::Parse(KParser& parser)
{
    if (!parser.ExpectOpen() || !parser.ReadToken())
        return 0;
    while (!parser.IsClose())
    {
        int32_t r;
        if (parser.Is("SHAPE"))
            r = shape.Parse(parser);
        else
        {
            KTrack* track = nullptr;
            for (KTrack* t : Tracks())
                if (parser.Is(t->name))
                    track = t;
            if (parser.Is("EMTPOS"))
                track = &position;
            if (!track)
            {
                std::string list;
                for (KTrack* t : Tracks())
                    list += std::string("/") + t->name;
                parser.ReportExpected("Error in parameter name \n", list + "/EMTPOS/SHAPE");
                return 0;
            }
            r = track->ParseEmitter(parser);
        }
        if (r != kOk || !parser.ReadToken())
            return 0;
    }
    return parser.ExpectClose();
}

KParticleSection::KParticleSection(KEmitterSection& emitter)
    : size("SIZE", 1, KTrackNumber::kPrtSize, kTrackVec2, 100, 100),
      sizeBias("SIZE", 1, KTrackNumber::kPrtSizeBias, kTrackVec2),
      sizeBiasScale("SIZE", 1, KTrackNumber::kPrtSizeBiasScale, kTrackScalar),
      color("COLOR", 2, KTrackNumber::kPrtColor, kTrackVec3, 255, 255, 255),
      colorBias("COLOR", 2, KTrackNumber::kPrtColorBias, kTrackVec3),
      colorBiasScale("COLOR", 2, KTrackNumber::kPrtColorBiasScale, kTrackScalar),
      alpha("ALPHA", 3, KTrackNumber::kPrtAlpha, kTrackScalar, 255),
      alphaBias("ALPHA", 3, KTrackNumber::kPrtAlphaBias, kTrackScalar),
      rot2d("ROT2D", 4, KTrackNumber::kPrtRot2d, kTrackScalar),
      rot2dBias("ROT2D", 4, KTrackNumber::kPrtRot2dBias, kTrackScalar),
      position("POSITION", 5, KTrackNumber::kPrtPosition, kTrackVec3),
      positionBias("POSITION", 5, KTrackNumber::kPrtPositionBias, kTrackVec3)
{
    size.biasTrack = &sizeBias;
    size.biasScaleTrack = &sizeBiasScale;
    size.emitterTrack = &emitter.size;
    color.biasTrack = &colorBias;
    color.biasScaleTrack = &colorBiasScale;
    color.emitterTrack = &emitter.color;
    alpha.biasTrack = &alphaBias;
    alpha.emitterTrack = &emitter.alpha;
    rot2d.biasTrack = &rot2dBias;
    rot2d.emitterTrack = &emitter.rot2d;
    position.biasTrack = &positionBias;
}

std::vector<KTrack*> KParticleSection::Tracks()
{
    return {&size, &color, &alpha, &rot2d, &position};
}

std::vector<const KTrack*> KParticleSection::Tracks() const
{
    return {&size, &color, &alpha, &rot2d, &position};
}

int32_t KParticleSection::Parse(KParser& parser)
{
    if (!parser.ExpectOpen() || !parser.ReadToken())
        return 0;
    while (!parser.IsClose())
    {
        int32_t r;
        if (parser.Is("RP"))
            r = rp.Parse(parser);
        else if (parser.Is("CONSTRAINTS"))
            r = constraints.Parse(parser);
        else
        {
            KTrack* track = nullptr;
            for (KTrack* t : Tracks())
                if (parser.Is(t->name))
                    track = t;
            if (!track)
            {
                parser.ReportExpected("Error in parameter name \n", "/SIZE/COLOR/ALPHA/ROT2D/POSITION/RP/CONSTRAINTS");
                return 0;
            }
            r = track->ParseParticle(parser);
        }
        if (r != kOk || !parser.ReadToken())
            return 0;
    }
    return parser.ExpectClose();
}

int32_t FxFrameSectionParser::Parse(KParser& parser)
{
    if (!parser.ExpectOpen())
        return 0;
    for (;;)
    {
        if (!parser.ReadToken())
            return 0;
        if (parser.IsClose())
            return 1;
        int32_t quantity = 0;
        if (!KLookupWord(kFrameQuantityWords, parser.GetToken(), quantity))
        {
            parser.ReportExpected("Error in parameter name \n", KWordList(kFrameQuantityWords));
            return 0;
        }
        if (!parser.ReadToken())
            return 0;
        if (!KLookupWord(kFrameWords, parser.GetToken(), frames[quantity]))
        {
            parser.ReportExpected("", KWordList(kFrameWords));
            return 0;
        }
    }
}

// ---- Words for writers -------------------------------------------------------------------------

const KWord* KOptionWords(const char* option, int32_t& count)
{
    if (std::strcmp(option, "LMode") == 0)
    {
        count = 2;
        return kLModeWords;
    }
    if (std::strcmp(option, "IMode") == 0)
    {
        count = 3;
        return kIModeWords;
    }
    count = 2;
    return kTModeWords;
}

const char* KShapeKindWord(int32_t kind)
{
    return kind >= 1 && kind <= 10 ? kShapeWords[kind - 1].word : "";
}

const char* KRpModeWord(int32_t mode)
{
    return mode >= 0 && mode <= 2 ? kRpModeWords[mode].word : "";
}

const char* KFrameQuantityWord(int32_t quantity)
{
    return quantity >= 0 && quantity < 4 ? kFrameQuantityWords[quantity].word : "";
}
