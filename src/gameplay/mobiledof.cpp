// The "MDF" loader and the mobile degree-of-freedom actor.
#include "mobiledof.h"

#include "frame.h"
#include "frameobject.h"
#include "gameplayactortypes.h"
#include "hbchunkstream.h"
#include "hbresource.h"
#include "tsactortyperegistry.h"
#include "w3dnode.h"

#include <cmath>
#include <cstring>

HB_DEFINE_CLASS_DESC(MobileDofLoader, HbRoot);
HB_DEFINE_CLASS_DESC(MobileDof, TsDof);

HB_REGISTER_RESOURCE_TYPE(MobileDofLoader, MobileDofLoader::kTypeKey);

namespace
{
constexpr float kTiny = 0.001f;

float Ratio(float a, float b)
{
    return std::fabs(b) <= kTiny ? 0.0f : a / b;
}

int ReadReal(HbMChunkStream* stream, float& out)
{
    return stream->ReadReal(out);
}

/// The chunk's fields after the open and close times, in file order.
int ReadRest(HbMChunkStream* stream, MobileDofParameters& p)
{
    int ok = ReadReal(stream, p.spinStart) && ReadReal(stream, p.spinEnd);
    ok = ok && ReadReal(stream, p.spinAxis.x) && ReadReal(stream, p.spinAxis.y) && ReadReal(stream, p.spinAxis.z);
    ok = ok && stream->ReadInt32(p.spare);
    for (std::string& name : p.names)
        ok = ok && HbReadCString(stream, name);
    return ok;
}

/// The first frame of the hierarchy, parents before children, that holds an object.
Frame* FirstFrameWithObject(Frame* frame)
{
    if (!frame)
        return nullptr;
    if (frame->objects.next != &frame->objects)
        return frame;
    for (Frame* child = frame->child; child; child = child->next)
        if (Frame* found = FirstFrameWithObject(child))
            return found;
    return nullptr;
}

Vector Sub(const Vector& a, const Vector& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
} // namespace

// ---- The loader ---------------------------------------------------------------------------------------

int MobileDofLoader::Load(HbStream* stream, const char*)
{
    auto* chunks = dynamic_cast<HbMChunkStream*>(stream);
    return chunks ? ReadChunks(chunks) : 0;
}

int MobileDofLoader::ReadChunks(HbMChunkStream* stream)
{
    // The found flag, not the header's value word, says whether a chunk is there.
    HbChunkHeaderFields header;
    MobileDofParameters p;
    int ok = 0;
    if (stream->FindChunkHeader(kChunkId, 0, 1, &header))
    {
        ok = 1;
        for (float& t : p.openTimes)
            ok = ok && ReadReal(stream, t);
        for (float& t : p.closeTimes)
            ok = ok && ReadReal(stream, t);
    }
    else if (stream->FindChunkHeader(kChunkId, 0, 0, &header))
    {
        ok = 1;
        for (int32_t i = 0; i < 3; ++i)
        {
            ok = ok && ReadReal(stream, p.openTimes[i]);
            p.closeTimes[i] = p.openTimes[i];
        }
    }
    else
    {
        return 0;
    }
    ok = ok && ReadRest(stream, p);
    stream->LeaveChunk();
    if (!ok)
        return 0;
    mParameters = std::move(p);
    return 1;
}

// ---- The actor ----------------------------------------------------------------------------------------

Matrix MobileDofIdentity()
{
    Matrix m;
    std::memset(&m, 0, sizeof m);
    m.right.x = 1.0f;
    m.up.y = 1.0f;
    m.at.z = 1.0f;
    m.flags = kMatrixOrthonormal | kMatrixIdentity;
    return m;
}

MobileDof::MobileDof() : mRest(MobileDofIdentity()), mStart(MobileDofIdentity()), mEnd(MobileDofIdentity()) {}

float MobileDof::OpenTime() const
{
    const float* t = mParameters.openTimes;
    return t[0] + t[1] + t[2];
}

float MobileDof::CloseTime() const
{
    const float* t = mParameters.closeTimes;
    return t[0] + t[1] + t[2];
}

int32_t MobileDof::Setup(const char* loaderName, const char* modelName)
{
    HbResourceManager* resources = HbResourceManager::Instance();
    HbRoot* object = resources && loaderName ? resources->AcquireResource(loaderName) : nullptr;
    auto* loader = HbCastTo<MobileDofLoader>(object);
    if (loader)
        mParameters = loader->mParameters;
    if (object)
        object->Release();
    if (!loader)
        return 0;
    if (!LoadModel(modelName))
        return 0;
    for (std::string& name : mParameters.names)
        if (name == "None")
            name.clear();
    if (!ReadEndFrames())
        return 0;
    W3dNode* node = GetNode();
    Frame* frame = node ? node->GetEngineFrame() : nullptr;
    if (!frame)
        return 0;
    mRest = frame->modelling;
    ComputeTravel();
    return 1;
}

int32_t MobileDof::ReadEndFrames()
{
    mStart = MobileDofIdentity();
    mEnd = MobileDofIdentity();
    W3dNode* node = GetNode();
    if (!node)
        return 0;
    for (HbPtrListNode* entry = node->GetChildren().GetHead(); entry; entry = entry->next)
    {
        auto* child = static_cast<W3dNode*>(entry->value);
        Frame* frame = child ? child->GetEngineFrame() : nullptr;
        if (!frame || !(child->GetFlags() & W3dNode::kVisible) || Frame::CountHierarchy(frame) != 2)
            continue;
        if (Frame* holder = FirstFrameWithObject(frame))
        {
            mEnd = holder->modelling;
            return 1;
        }
    }
    return 0;
}

void MobileDof::ComputeTravel()
{
    const Vector d = Sub(mEnd.pos, mStart.pos);
    const float distance = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    Matrix inverse;
    Matrix relative;
    Matrix::Invert(&inverse, &mStart);
    Matrix::Multiply(&relative, &mEnd, &inverse);
    Vector axis = {0.0f, 0.0f, 0.0f};
    Vector centre = {0.0f, 0.0f, 0.0f};
    float angle = 0.0f;
    Matrix::QueryRotate(&relative, &axis, &angle, &centre);
    if (!std::isfinite(angle))
        angle = 0.0f;
    mTravel = std::fmax(distance, std::fabs(angle));

    const float* open = mParameters.openTimes;
    const float* close = mParameters.closeTimes;
    const float openTotal = OpenTime();
    const float closeTotal = CloseTime();
    mOpenSpinRate = Ratio(mParameters.spinEnd - mParameters.spinStart, openTotal);
    mCloseSpinRate = Ratio(mParameters.spinStart - mParameters.spinEnd, closeTotal);
    mOpenSpeed = Ratio(mTravel, open[1] + (open[0] + open[2]) * 0.5f);
    mOpenAcceleration = Ratio(mOpenSpeed, open[0]);
    mOpenDeceleration = -Ratio(mOpenSpeed, open[2]);
    mCloseSpeed = Ratio(mTravel, close[1] + (close[0] + close[2]) * 0.5f);
    mCloseRateA = Ratio(mCloseSpeed, close[0]);
    mCloseRateB = -Ratio(mCloseSpeed, close[2]);
    mTimeRatio = std::fabs(closeTotal) <= kTiny ? 1.0f : openTotal / closeTotal;
}

void MobileDofInstall()
{
    if (TsActorTypeRegistry* registry = TsActorTypeRegistry::Instance())
        TsRegisterActorType<MobileDof>(registry, "MobileDof", kActorTypeMobileDof);
}
