// TsActor.
#include "tsactor.h"

#include "eboxcontract.h"
#include "frame.h"
#include "hbclock.h"
#include "hbsavefile.h"
#include "matrix.h"
#include "tsevent.h"
#include "tsmotorskills.h"
#include "tsscriptbinding.h"
#include "tsscriptcall.h"
#include "w3dframe.h"
#include "w3dlevel.h"
#include "w3dnode.h"
#include "wscene.h"

#include <Python.h>

#include <cmath>
#include <cstring>

HB_DEFINE_CLASS_DESC(TsActor, HbRoot);

namespace
{
/// Default sight distances [band][visibility class], one value per posture class.
constexpr float kDefaultSight[TsActor::kBands][TsActor::kClasses][TsActor::kClasses] = {
    {{2000, 3000, 5000, 1000, 2000},
     {800, 1200, 1600, 400, 800},
     {600, 900, 1200, 300, 600},
     {10000, 10000, 10000, 10000, 10000},
     {0, 0, 0, 0, 0}},
    {{1000, 1500, 2000, 500, 1000},
     {600, 900, 1200, 300, 600},
     {400, 600, 800, 200, 400},
     {10000, 10000, 10000, 10000, 10000},
     {0, 0, 0, 0, 0}},
    {{600, 900, 1200, 300, 600},
     {400, 600, 800, 200, 400},
     {200, 300, 400, 130, 200},
     {10000, 10000, 10000, 10000, 10000},
     {0, 0, 0, 0, 0}},
    {{130, 130, 130, 130, 130},
     {130, 130, 130, 130, 130},
     {130, 130, 130, 130, 130},
     {130, 130, 130, 130, 130},
     {0, 0, 0, 0, 0}},
};

constexpr uint32_t kNoiseLevels[14] = {0, 25, 25, 25, 50, 50, 50, 50, 75, 75, 75, 100, 100, 25};

/// Slopes whose normal's y is at most this are too steep to stand on (75 degrees).
const float kSteepestGroundY = std::cos(75.0f * 3.14159265358979f / 180.0f);

int64_t GameNow()
{
    HbGameClock* clock = HbGameClock::Instance();
    return clock ? clock->mGameTime : 0;
}

int32_t ClassIndex(int32_t value)
{
    return value >= 0 && value < TsActor::kClasses ? value : 0;
}

/// The text of the attribute when it is a str, else "".
std::string StringAttr(PyObject* object, const char* name)
{
    std::string text;
    PyObject* value = object ? PyObject_GetAttrString(object, name) : nullptr;
    if (value && PyUnicode_Check(value))
        if (const char* utf8 = PyUnicode_AsUTF8(value))
            text = utf8;
    Py_XDECREF(value);
    PyErr_Clear();
    return text;
}
} // namespace

uint32_t TsNoiseRowLevel(int32_t row)
{
    return row >= 0 && row < 14 ? kNoiseLevels[row] : 0;
}

TsActor::TsActor()
{
    mCollision.Clear();
    std::memcpy(mSightTable, kDefaultSight, sizeof(mSightTable));
}

TsActor::~TsActor()
{
    bool interpreter = Py_IsInitialized();
    if (interpreter)
        Py_XDECREF(mPendingCall);
    mPendingCall = nullptr;
    if (mLinkedObject)
        mLinkedObject->Release();
    if (interpreter && mScriptObject)
    {
        if (mScriptObject != Py_None && !PyCallable_Check(mScriptObject))
        {
            TsScriptUnstore(mScriptObject, true);
            PyErr_Clear();
        }
        Py_DECREF(mScriptObject);
    }
    mScriptObject = nullptr;
    while (!mEvents.IsEmpty())
        delete static_cast<TsEvent*>(mEvents.PopFront());
    if (mOwnedObject)
        mOwnedObject->Release();
    EBoxActorBitsFree(mEBoxBits);
}

// ---- Placement ------------------------------------------------------------------------------------

int32_t TsActor::SetPosition(const Vector* point)
{
    W3dNode* node = GetNode();
    if (!node || !point)
        return 0;
    node->SetWorldPosition(point);
    return 1;
}

int32_t TsActor::Reparent(W3dNode* parent)
{
    W3dNode* node = GetNode();
    Frame* frame = node ? node->GetEngineFrame() : nullptr;
    Frame* parentFrame = parent ? parent->GetEngineFrame() : nullptr;
    if (!frame || !parentFrame || node == parent)
        return 0;
    Matrix world = *Frame::GetWorldMatrix(frame);
    // The node's own reference keeps it alive while it changes parents.
    node->AddRef();
    parent->AttachChild(node);
    Matrix inverse;
    Matrix local;
    Matrix::Invert(&inverse, Frame::GetWorldMatrix(parentFrame));
    Matrix::Multiply(&local, &world, &inverse);
    Frame::Transform(frame, &local, kCombineReplace);
    node->Release();
    return 1;
}

int32_t TsActor::AttachTo(TsActor* other)
{
    return other ? Reparent(other->GetNode()) : 0;
}

int32_t TsActor::DetachToWorld()
{
    W3dNode* node = GetNode();
    WScene* scene = node ? node->GetScene() : nullptr;
    return scene ? Reparent(scene->GetRoot()) : 0;
}

int32_t TsActor::SnapToGround(const Vector* offset)
{
    W3dNode* node = GetNode();
    WScene* scene = node ? node->GetScene() : nullptr;
    W3dLevel* level = scene ? scene->GetLevel() : nullptr;
    World* world = level ? level->GetMainWorld() : nullptr;
    if (!world)
        return 0;
    Vector p = *node->GetWorldPosition();
    if (offset)
        p = {p.x + offset->x, p.y + offset->y, p.z + offset->z};
    Vector top = {p.x, p.y + kSnapHalfHeight, p.z};
    Vector bottom = {p.x, p.y - kSnapHalfHeight, p.z};
    // The level keeps one world: its triangles, or the objects placed in it.
    World* triangles = (mGroundTestFlags & kGroundTestTriangles) ? world : nullptr;
    World* objects = (mGroundTestFlags & kGroundTestObjects) ? world : nullptr;
    if (!triangles && !objects)
        return 0;
    if (!CollisionTestLineEx(objects, triangles, &top, &bottom, node, nullptr, &mCollision, nullptr))
        return 0;
    if (mCollision.color[kSurfaceFlagByte] & kNoSnapSurface)
        return 0;
    if (mCollision.normal.y <= kSteepestGroundY)
        return 0;
    // The node moves by the drop and the offset once: p holds the offset already.
    float drop = kSnapHalfHeight - 2.0f * kSnapHalfHeight * mCollision.distance;
    Vector target = {p.x, p.y + drop, p.z};
    node->SetWorldPosition(&target);
    return 1;
}

void TsActor::GetLocalDirection(const Vector* world, Vector* out)
{
    auto clamp = [](float v) { return v < -1.0f ? -1.0f : (v > 1.0f ? 1.0f : v); };
    W3dNode* node = GetNode();
    Frame* frame = node ? node->GetEngineFrame() : nullptr;
    if (!frame)
    {
        *out = {clamp(world->x), clamp(world->y), clamp(world->z)};
        return;
    }
    const Matrix* m = Frame::GetWorldMatrix(frame);
    auto flat = [](Vector v)
    {
        v.y = 0.0f;
        const float length = std::sqrt(v.x * v.x + v.z * v.z);
        return length > 0.0f ? Vector{v.x / length, 0.0f, v.z / length} : Vector{0.0f, 0.0f, 0.0f};
    };
    const Vector right = flat(m->right);
    const Vector at = flat(m->at);
    *out = {clamp(world->x * right.x + world->z * right.z), 0.0f, clamp(world->x * at.x + world->z * at.z)};
}

void TsActor::RemoveNodeFromParent()
{
    W3dNode* node = GetNode();
    if (node && node->GetParent())
        node->GetParent()->RemoveChild(node);
}

void TsActor::ExitMotorSkills()
{
    if (TsMotorSkills* skills = GetMotorSkills())
        skills->ExitCurrent();
}

// ---- Hit points, noise, sight -----------------------------------------------------------------------

void TsActor::SetHitPoints(int32_t value)
{
    mHitPoints = value > mMaxHitPoints ? mMaxHitPoints : value;
}

uint32_t TsActor::GetSoundLevel()
{
    int64_t now = GameNow();
    if (now == mNoiseStamp || mNoiseLevel == 0)
        return mNoiseLevel;
    int64_t frequency = HbPerformanceFrequency();
    double elapsed = frequency > 0 ? double(now - mNoiseStamp) / double(frequency) : 0.0;
    double decay = 20.0 * elapsed;
    mNoiseLevel = decay >= double(mNoiseLevel) ? 0 : uint32_t(double(mNoiseLevel) - decay);
    mNoiseStamp = now;
    return mNoiseLevel;
}

int32_t TsActor::SetSoundLevel(int32_t row)
{
    uint32_t level = TsNoiseRowLevel(row);
    if (level >= GetSoundLevel())
    {
        mNoiseLevel = level;
        mNoiseStamp = GameNow();
    }
    return 1;
}

void TsActor::SetVisibilityAngles(float a, float b, float c, float d)
{
    mSightAngles[0] = a;
    mSightAngles[1] = b;
    mSightAngles[2] = c;
    mSightAngles[3] = d;
}

void TsActor::SetVisibilityDistances(int32_t band, int32_t visibility, const float distances[kClasses])
{
    if (band < 0 || band >= kBands || visibility < 0 || visibility >= kClasses || !distances)
        return;
    for (int32_t i = 0; i < kClasses; ++i)
        mSightTable[band][visibility][i] = distances[i];
}

float TsActor::GetSightDistance(float angle, int32_t visibility, int32_t posture) const
{
    if (visibility == kUnseen)
        return 0.0f;
    // A class no table row stands for is never seen (5 is the unset class, read as 0).
    if (visibility < 0 || visibility > kClassUnset || posture < 0 || posture > kClassUnset)
        return 0.0f;
    float a = std::fabs(angle);
    int32_t band = a > mSightAngles[2] ? 3 : a > mSightAngles[1] ? 2 : a > mSightAngles[0] ? 1 : 0;
    return mSightTable[band][ClassIndex(visibility)][ClassIndex(posture)] * mSightMultiplier;
}

float TsActor::GetDistanceSquaredTo(TsActor* other)
{
    int64_t now = GameNow();
    if (other == mDistanceOther && now == mDistanceTime)
        return mDistance;
    float distance = -1.0f;
    W3dNode* a = GetNode();
    W3dNode* b = other ? other->GetNode() : nullptr;
    if (a && b && a->GetScene() && b->GetScene())
    {
        const Vector* p = a->GetWorldPosition();
        const Vector* q = b->GetWorldPosition();
        float dx = p->x - q->x, dy = p->y - q->y, dz = p->z - q->z;
        distance = dx * dx + dy * dy + dz * dz;
    }
    mDistanceOther = other;
    mDistanceTime = now;
    mDistance = distance;
    return distance;
}

// ---- Script side ----------------------------------------------------------------------------------

void TsActor::BindScriptObject(PyObject* object)
{
    Py_XINCREF(object);
    PyObject* old = mScriptObject;
    mScriptObject = object;
    Py_XDECREF(old);
    mName.clear();
    if (object && object != Py_None)
        mName = StringAttr(object, "actorName");
}

void TsActor::SetPendingScriptCall(PyObject* callable)
{
    Py_XINCREF(callable);
    PyObject* old = mPendingCall;
    mPendingCall = callable;
    // Raised by whoever decides the moment (a disappearance raises it once it has finished).
    mPendingCallFlag = 0;
    Py_XDECREF(old);
}

void TsActor::RunPendingScriptCall()
{
    if (!mPendingCall || !mPendingCallFlag)
        return;
    // Cleared before the call: the script may set a new one.
    PyObject* callable = mPendingCall;
    mPendingCall = nullptr;
    mPendingCallFlag = 0;
    if (callable != Py_None)
    {
        PyObject* result = TsCallScriptObjectGuarded(callable, nullptr);
        if (result)
            Py_DECREF(result);
        else if (PyErr_Occurred())
            PyErr_Print();
    }
    Py_DECREF(callable);
}

int32_t TsActor::Save(HbSaveFile* save)
{
    if (!save || !mScriptObject || mScriptObject == Py_None)
        return 0;
    std::string className;
    if (PyObject* type = PyObject_Type(mScriptObject))
    {
        className = StringAttr(type, "__name__");
        Py_DECREF(type);
    }
    std::string actorName = StringAttr(mScriptObject, "actorName");
    std::string dataName;
    if (PyObject* data = PyObject_GetAttrString(mScriptObject, "data"))
    {
        dataName = StringAttr(data, "__name__");
        Py_DECREF(data);
    }
    PyErr_Clear();
    // A failed write leaves the record short: the caller must know.
    return save->WriteString(className.c_str()) && save->WriteString(actorName.c_str()) &&
                   save->WriteString(dataName.c_str())
               ? 1
               : 0;
}

int32_t TsActor::Load(HbSaveFile* save)
{
    (void)save;
    return 1;
}

// ---- Registrations ----------------------------------------------------------------------------------

int32_t TsActor::AddEvent(TsEvent* event)
{
    if (!event)
        return 0;
    bool callable = event->callable && event->callable != Py_None && PyCallable_Check(event->callable);
    if (!callable && !event->callback)
        return 0;
    if (!mEvents.AddTail(event))
        return 0;
    event->owner = this;
    return 1;
}

TsEvent* TsActor::FindEvent(int32_t id) const
{
    for (HbPtrListNode* node = mEvents.GetHead(); node; node = node->next)
    {
        auto* event = static_cast<TsEvent*>(node->value);
        if (event->active && event->id == id)
            return event;
    }
    return nullptr;
}

HbPtrListNode* TsActor::DeactivateEvent(int32_t id)
{
    for (HbPtrListNode* node = mEvents.GetHead(); node; node = node->next)
    {
        auto* event = static_cast<TsEvent*>(node->value);
        if (event->active && event->id == id)
        {
            event->active = 0;
            return node->next;
        }
    }
    return nullptr;
}

void TsActor::PurgeEvents()
{
    HbPtrListNode* node = mEvents.GetHead();
    while (node)
    {
        HbPtrListNode* next = node->next;
        auto* event = static_cast<TsEvent*>(node->value);
        if (!event->active)
        {
            mEvents.RemoveAt(node);
            delete event;
        }
        node = next;
    }
}
