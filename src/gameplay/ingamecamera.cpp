// The in-game cameras: the lens and the shake, and the follow camera's placements, presets,
// zoom, aim turn and camera actions. The per-frame law is in ingamecameraupdate.cpp.
#include "ingamecamera.h"

#include "frame.h"
#include "gameprofile.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "hbclock.h"
#include "hbcontroller.h"
#include "hbinputaction.h"
#include "hbinputmanager.h"
#include "heroinput.h"
#include "ingamecamera_local.h"
#include "scenariocamera.h"
#include "scriptworldmanager.h"
#include "shoothelper.h"
#include "shootpick.h"
#include "spline.h"
#include "tsactor.h"
#include "tsanimactor.h"
#include "tsanimactorctrl.h"
#include "tscameraregistry.h"
#include "tsheroactor.h"
#include "tsweaponshoot.h"
#include "w3dnode.h"

#include <algorithm>
#include <cstring>
#include <iterator>

HB_DEFINE_CLASS_DESC(BasicInGameCamera, TsCamera);
HB_DEFINE_CLASS_DESC(CameraFollow, BasicInGameCamera);

namespace ingamecamera
{
namespace
{
CameraFollowModule gModule;
CameraFollowHooks gHooks;
CameraFollowHooks gInForce;

/// An action found by name, found again when the bindings change.
struct CachedAction
{
    const char* name;
    HbInputAction* action = nullptr;
    uint32_t bindings = 0;
    bool looked = false;
};
CachedAction gActions[] = {{"CAMERA_BEHIND"}, {"CAMERA_STRAF_RIGHT"}, {"CAMERA_STRAF_LEFT"}};

int32_t DefaultPadPresent()
{
    HbInputManager* input = HbInputManager::Instance();
    return input && input->IsPadPresent() ? 1 : 0;
}

void DefaultStick(int32_t pad, float out[2])
{
    out[0] = out[1] = 0.0f;
    if (HbInputManager* input = HbInputManager::Instance())
        input->GetControllerAxis(pad ? kHbControllerPad1 : kHbControllerMouse, pad ? 2 : 0, out);
}

int32_t DefaultAction(const char* name)
{
    HbInputManager* input = HbInputManager::Instance();
    if (!input)
        return 0;
    for (CachedAction& cached : gActions)
    {
        if (std::strcmp(cached.name, name) != 0)
            continue;
        const uint32_t bindings = HbInputManager::BindingCounter();
        if (!cached.looked || cached.bindings != bindings)
        {
            cached.action = input->FindAction(cached.name);
            cached.bindings = bindings;
            cached.looked = true;
        }
        return cached.action && cached.action->IsTriggered() ? 1 : 0;
    }
    return 0;
}

int32_t DefaultMoveState(TsActor* actor)
{
    auto* animated = HbCastTo<TsAnimActor>(actor);
    return animated ? TsAnimActorGetMoveStateIndex(animated) : 0;
}

void Refresh()
{
    gInForce.padPresent = gHooks.padPresent ? gHooks.padPresent : DefaultPadPresent;
    gInForce.stick = gHooks.stick ? gHooks.stick : DefaultStick;
    gInForce.action = gHooks.action ? gHooks.action : DefaultAction;
    gInForce.target = gHooks.target ? gHooks.target : ShootHelperCameraTarget;
    gInForce.moveState = gHooks.moveState ? gHooks.moveState : DefaultMoveState;
}

struct RefreshAtStart
{
    RefreshAtStart() { Refresh(); }
} gRefreshAtStart;
} // namespace

CameraFollowModule& Module()
{
    return gModule;
}

const CameraFollowHooks& Hooks()
{
    return gInForce;
}

int32_t PadPresent()
{
    return gInForce.padPresent() ? 1 : 0;
}

float FrameSeconds()
{
    HbGameClock* clock = HbGameClock::Instance();
    const float dt = clock ? clock->mStepSeconds : 0.0f;
    return std::isfinite(dt) && dt > 0.0f ? dt : 0.0f;
}

double GameSeconds()
{
    HbGameClock* clock = HbGameClock::Instance();
    return clock ? double(clock->mGameTime) / double(HbPerformanceFrequency()) : 0.0;
}

Vector Slerp(const Vector& from, const Vector& to, float t)
{
    float c = Dot(from, to);
    c = std::clamp(c, -1.0f, 1.0f);
    const float theta = std::acos(c);
    if (theta < 1e-5f || t >= 1.0f)
        return t >= 1.0f ? to : from;
    const float s = std::sin(theta);
    if (s < 1e-5f)
        return TurnY(from, 180.0f * t);
    const float a = std::sin((1.0f - t) * theta) / s, b = std::sin(t * theta) / s;
    Vector out = Add(Scale(from, a), Scale(to, b));
    const float length = Length(out);
    return length > 1e-6f ? Scale(out, 1.0f / length) : to;
}
} // namespace ingamecamera

using namespace ingamecamera;

// ---- The lens and the shake ----------------------------------------------------------------------------

BasicInGameCamera::BasicInGameCamera()
{
    if (GetCamera())
        SetFocalLength(kDefaultFocal);
}

BasicInGameCamera::~BasicInGameCamera() = default;

void BasicInGameCamera::SetFocalLength(float focal)
{
    if (!(focal > 0.0f) || !std::isfinite(focal))
        return;
    mFocal = focal;
    if (GetCamera())
        SetViewWindow({36.0f / (2.0f * focal), 24.0f / (2.0f * focal)});
}

int32_t BasicInGameCamera::Shake(const CameraShakeRequest& request)
{
    if (request.channel < 0 || request.channel >= kShakeChannels)
        return 0;
    Channel& channel = mChannels[request.channel];
    if (!request.on)
    {
        channel.on = 0;
        return 1;
    }
    const bool finite = std::isfinite(request.amplitude) && std::isfinite(request.frequency) &&
                        std::isfinite(request.damping) && std::isfinite(request.delay);
    if (!finite || !(request.damping > 0.0f))
    {
        channel.on = 0;
        return 0;
    }
    channel.on = 1;
    channel.request = request;
    HbGameClock* clock = HbGameClock::Instance();
    channel.start = clock ? clock->mGameTime : 0;
    return 1;
}

int32_t BasicInGameCamera::IsShaking(int32_t channel) const
{
    return channel >= 0 && channel < kShakeChannels ? mChannels[channel].on : 0;
}

float BasicInGameCamera::GetShakeValue(int32_t index) const
{
    if (!IsShaking(index))
        return 0.0f;
    const Channel& channel = mChannels[index];
    const double start = double(channel.start) / double(HbPerformanceFrequency());
    const double t = GameSeconds() - start - channel.request.delay;
    if (t < 0.0)
        return 0.0f;
    const double fade = std::exp(double(channel.request.damping) * t);
    return float(channel.request.amplitude * std::sin(channel.request.frequency * t) / fade);
}

void BasicInGameCamera::SetBaseMatrix(const Vector& right, const Vector& up, const Vector& at, const Vector& position)
{
    mBase[0] = right;
    mBase[1] = up;
    mBase[2] = at;
    mBase[3] = position;
}

void BasicInGameCamera::ApplyPlacement()
{
    PlayShake();
}

namespace
{
/// a turned about the unit axis k (a at right angles to k) by the degrees.
Vector TurnAbout(const Vector& a, const Vector& k, float degrees)
{
    const float r = degrees / kDegrees;
    return Add(Scale(a, std::cos(r)), Scale(Cross(k, a), std::sin(r)));
}
} // namespace

void BasicInGameCamera::PlayShake()
{
    Vector right = mBase[0], up = mBase[1], at = mBase[2], position = mBase[3];
    const double now = GameSeconds();
    for (int32_t index = 0; index < kShakeChannels; ++index)
    {
        Channel& channel = mChannels[index];
        if (!channel.on)
            continue;
        const double t = now - double(channel.start) / double(HbPerformanceFrequency()) - channel.request.delay;
        if (t < 0.0)
            continue;
        const double fade = std::exp(double(channel.request.damping) * t);
        if (fade >= (index == 1 ? 10.0 : 20.0))
        {
            channel.on = 0;
            continue;
        }
        const float value = float(channel.request.amplitude * std::sin(channel.request.frequency * t) / fade);
        if (index == 0)
        {
            at = TurnAbout(at, right, value);
            up = TurnAbout(up, right, value);
        }
        else if (index == 1)
        {
            right = TurnAbout(right, at, value);
            up = TurnAbout(up, at, value);
        }
        else if (value > 0.5f)
            position.y += value;
    }
    Frame* frame = GetEngineFrame();
    if (!frame)
        return;
    Matrix m = {};
    m.right = right;
    m.up = up;
    m.at = at;
    m.pos = position;
    Matrix::Update(&m);
    Frame::Transform(frame, &m, kCombineReplace);
    Frame::UpdateObjects(frame);
}

// ---- The follow camera -----------------------------------------------------------------------------------

namespace
{
constexpr float kStickCurve[] = {0.0f, 0.05f, 0.1f, 0.3f, 0.5f, 1.0f};
constexpr float kNormalFocal = 27.0f;
} // namespace

CameraFollow::CameraFollow()
{
    mLookRing.Init(mLook[0], mLook[1], mLook[2], kHistory);
    mAimRing.Init(mAim[0], mAim[1], mAim[2], kHistory);
    mDistanceRing.Init(mDistances, kHistory);
    mDistanceRing.Fill(mState.currentDistance);
    mStickCurve = new Spline();
    if (mStickCurve->SetLayout(1, int32_t(std::size(kStickCurve))))
    {
        for (int32_t i = 0; i < int32_t(std::size(kStickCurve)); ++i)
            mStickCurve->SetControlPoint(i, &kStickCurve[i]);
        mStickCurve->Build(0);
    }
    if (GetCamera())
        mState.savedNearClip = GetCamera()->nearPlane;
}

CameraFollow* CameraFollow::Create()
{
    auto* camera = new CameraFollow();
    if (!camera->GetCamera())
    {
        delete camera;
        return nullptr;
    }
    // A new level's camera starts from the first preset whatever the last level left.
    CameraFollowModule& m = Module();
    m = CameraFollowModule{};
    m.current = camera;
    camera->SetPreset(1);
    m.action = 0;
    return camera;
}

CameraFollow::~CameraFollow()
{
    if (Module().current == this)
        Module().current = nullptr;
    delete mStickCurve;
    mFollowed.Reset();
    mTarget.Reset();
}

TsActor* CameraFollow::GetFollowed()
{
    return mFollowed.IsValid() ? static_cast<TsActor*>(mFollowed.GetObject()) : nullptr;
}

Vector CameraFollow::FollowedPosition()
{
    TsActor* actor = GetFollowed();
    W3dNode* node = actor ? actor->GetNode() : nullptr;
    const Vector* p = node ? node->GetWorldPosition() : nullptr;
    return p && Finite(*p) ? *p : Vector{0.0f, 0.0f, 0.0f};
}

Vector CameraFollow::FollowedFacing()
{
    TsActor* actor = GetFollowed();
    W3dNode* node = actor ? actor->GetNode() : nullptr;
    Frame* frame = node ? node->GetEngineFrame() : nullptr;
    Vector facing;
    if (frame && Horizontal(Frame::GetWorldMatrix(frame)->at, &facing))
        return facing;
    return mState.direction;
}

void CameraFollow::SetPlacement(const void* placement)
{
    const auto* record = static_cast<const CameraFollowPlacement*>(placement);
    if (!record)
        return;
    switch (record->kind)
    {
    case CameraFollowPlacement::kFollow:
        Follow(record->actor);
        break;
    case CameraFollowPlacement::kZoom:
        SetZoom(record->zoom);
        break;
    case CameraFollowPlacement::kShake:
        Shake(record->shake);
        break;
    case CameraFollowPlacement::kPreset:
        SetPreset(record->preset);
        break;
    case CameraFollowPlacement::kAction:
        Action(*record);
        break;
    default:
        break;
    }
}

void CameraFollow::Follow(TsActor* actor)
{
    mFollowed.Assign(actor);
    Vector facing;
    if (actor && actor->GetNode() && Horizontal(FollowedFacing(), &facing))
        mState.direction = facing;
    else if (Horizontal(mState.pivotAt, &facing))
        mState.direction = facing;
    // The camera starts looking at the actor rather than sweeping in from where it looked.
    Vector look = FollowedPosition();
    look.y += mState.currentHeight;
    mState.lookPoint = mState.previousLookPoint = mState.aimPoint = look;
    mLookRing.Fill(look);
    mAimRing.Fill(Vector{0.0f, 0.0f, 0.0f});
    float zoom = 0.0f;
    if (HbCastTo<TsHeroActor>(actor))
        if (auto* gun = HbCastTo<TsWeaponShoot>(HeroGetInputHost()->GetObjectInHand(actor)))
            zoom = gun->mReal3;
    SetZoom(zoom);
}

void CameraFollow::SetZoom(float zoom)
{
    if (!std::isfinite(zoom))
        return;
    CameraFollowModule& m = Module();
    m.zoomedFocal = kNormalFocal + zoom * 73.0f * 0.01f;
    if (m.zoomed)
        RecomputeStickRates();
}

void CameraFollow::RecomputeStickRates()
{
    CameraFollowModule& m = Module();
    const int32_t pad = PadPresent();
    if (!m.zoomed)
    {
        m.pitchRate = pad ? 1.0f : 75.0f;
        m.yawRate = pad ? -4.0f : 125.0f;
        return;
    }
    // A focal length not above 0 cannot come from a zoom value of 0..100; keep the rates finite.
    const float k = m.zoomedFocal > 0.0f ? kNormalFocal / m.zoomedFocal : 1.0f;
    m.pitchRate = (pad ? 0.7f : 75.0f) * k;
    m.yawRate = (pad ? -3.0f : 125.0f) * k;
}

void CameraFollow::SetPreset(int32_t preset)
{
    CameraFollowModule& m = Module();
    if (preset == m.preset)
        return;
    mState.pivotOffset = {0.0f, 0.0f, 0.0f};
    m.preset = preset;
    ApplyPreset(preset);
}

namespace
{
struct PresetRow
{
    float distance, height, maxHeight;
    int32_t zoom;
};
const PresetRow kPresets[] = {
    {250, 130, 180, 0}, {200, 180, 181, 1}, {200, 140, 141, 1}, {250, 90, 140, 0},
    {250, 80, 0, -1},   {0, 0, 0, -1},      {100, 180, 181, 1},
};
} // namespace

void CameraFollow::ApplyPreset(int32_t preset)
{
    if (preset < 1 || preset > 7)
        return;
    CameraFollowModule& m = Module();
    CameraFollowState& s = mState;
    auto endRunning = [&]
    {
        s.transitions = 0;
        s.stickYaw = s.stickPitch = 1;
        m.action = 0;
        mEndCallback = 0;
        m.actionTimer = -1.0f;
    };
    switch (preset)
    {
    case 1:
    case 4:
        if (m.action != 0 && m.action != 7)
            return;
        break;
    case 2:
    case 3:
    case 7:
        if (m.action >= 1 && m.action <= 3)
            endRunning();
        if (m.action >= 4 && m.action <= 6)
            return;
        break;
    case 5:
        endRunning();
        break;
    default:
        break;
    }
    const PresetRow& row = kPresets[preset - 1];
    if (preset == 6)
    {
        s.autoBehind = s.autoPitch = 0;
        s.lookSpeedSeconds = 0.0f;
        return;
    }
    s.distance = s.distanceTarget = row.distance;
    s.height = row.height;
    if (preset == 5)
    {
        s.stickYaw = s.stickPitch = 0;
        s.autoBehind = s.autoPitch = 0;
        s.lookSpeedSeconds = 0.0f;
        s.pitchBias = 0.2f;
        s.yawBias = 1.0f;
        s.heightRate = 2.0f;
        s.focalTarget = kNormalFocal;
        return;
    }
    s.maxHeight = std::max(0.0f, row.maxHeight);
    if (preset == 7)
        s.pivotOffset = {-35.0f, -30.0f, 40.0f};
    Zoom(row.zoom);
}

void CameraFollow::Zoom(int32_t on)
{
    CameraFollowModule& m = Module();
    CameraFollowState& s = mState;
    const int32_t was = m.zoomed;
    const int32_t pad = PadPresent();
    m.zoomed = on ? 1 : 0;
    if (!on)
    {
        s.autoBehind = s.autoPitch = pad;
        s.yawSlowingRate = 8.5f;
        s.restPitch = 15.0f;
        s.strafeOn = 1;
        s.focalTarget = kNormalFocal;
    }
    else
    {
        s.focalTarget = m.zoomedFocal;
        s.autoBehind = s.autoPitch = 0;
        s.lookSpeedSeconds = 0.0f;
        s.strafeOn = 0;
        s.yawSlowingRate = 100.0f;
        s.restPitch = 1.0f;
    }
    RecomputeStickRates();
    if (was != m.zoomed)
        AimTurn(m.zoomed);
}

void CameraFollow::AimTurn(int32_t zoomingIn)
{
    CameraFollowModule& m = Module();
    CameraFollowState& s = mState;
    float pitch = 0.0f;
    bool targeted = false;
    Vector p;
    if (zoomingIn && GetCameraShootHelper() && Hooks().target(&p) && Finite(p))
    {
        const Vector actor = FollowedPosition();
        const float dx = p.x - actor.x, dz = p.z - actor.z;
        const float h = dx * dx + dz * dz;
        if (h < 40000.0f)
            p.y += (1.0f - h / 40000.0f) * 35.0f;
        const float eye = actor.y + s.height;
        const float d = Length(Sub(p, Vector{actor.x, eye, actor.z}));
        Vector toward;
        // A point at the eye itself gives no direction: no turn, and no asin of 0 / 0.
        if (d > 1e-3f && Horizontal(Sub(p, actor), &toward))
        {
            pitch = std::asin(std::min(1.0f, std::fabs(eye - p.y) / d)) * kDegrees;
            if (eye < p.y)
                pitch = -pitch;
            s.hasAimPoint = 1;
            s.aimTurnPoint = p;
            m.aimTurnSeconds = 0.0f;
            s.stickYaw = 0;
            s.turnTarget = toward;
            s.transitions |= kTurn;
            targeted = true;
        }
    }
    if (!targeted)
    {
        const float from = m.action == 7 ? s.pitchTarget : s.pitch;
        if (!zoomingIn)
            s.transitions &= ~kTurn;
        pitch = zoomingIn ? from - 13.6f : from + 13.6f;
    }
    s.pitchTarget = std::clamp(pitch, s.pitchLow, s.pitchHigh);
    s.transitions |= kPitch;
    s.pitchRate = 18.0f;
    s.turnRate = 20.0f;
    s.stickPitch = 0;
    m.action = 7;
    mEndCallback = 3;
}

void CameraFollow::EndAimTurn()
{
    CameraFollowModule& m = Module();
    CameraFollowState& s = mState;
    s.turnRate = s.pitchRate = 7.0f;
    s.transitions = 0;
    s.stickYaw = s.stickPitch = 1;
    m.action = 0;
    s.hasAimPoint = 0;
    mEndCallback = 0;
}

void CameraFollow::EndAction()
{
    CameraFollowModule& m = Module();
    CameraFollowState& s = mState;
    s.stickYaw = s.stickPitch = 1;
    s.transitions = 0;
    m.action = 0;
    m.actionTimer = -1.0f;
    mEndCallback = 0;
    mTarget.Reset();
    s.targetKind = CameraFollowPlacement::kNoTarget;
    ApplyPreset(m.preset);
}

int32_t CameraFollow::Action(const CameraFollowPlacement& record)
{
    CameraFollowModule& m = Module();
    CameraFollowState& s = mState;
    const int32_t action = record.action;
    if (m.action == 0 && ((m.zoomed && action != 4) || action == 0))
        return 1;
    m.action = action;
    s.transitions = 0;
    m.actionTimer = -1.0f;
    mEndCallback = 0;
    s.hasAimPoint = 0;
    const Vector direction = {record.direction[0], record.direction[1], record.direction[2]};
    const bool hasDirection = (record.given & CameraFollowPlacement::kGivenDirection) && Finite(direction);
    if (action == 0)
    {
        EndAction();
        return 1;
    }
    if (action == 5)
    {
        Vector flat;
        if (hasDirection && Horizontal(direction, &flat))
            s.direction = flat;
        if ((record.given & CameraFollowPlacement::kGivenPitch) && std::isfinite(record.pitch))
            s.pitch = s.pitchTarget = record.pitch;
        if ((record.given & CameraFollowPlacement::kGivenDistance) && std::isfinite(record.distance))
            s.currentDistance = record.distance;
        if ((record.given & CameraFollowPlacement::kGivenHeight) && std::isfinite(record.height))
            s.currentHeight = record.height;
        m.action = 0;
        return 1;
    }
    if (action == 6)
    {
        const Vector point = {record.targetPoint[0], record.targetPoint[1], record.targetPoint[2]};
        if (record.targetKind == CameraFollowPlacement::kTargetActor && record.targetActor)
            mTarget.Assign(record.targetActor);
        else if (record.targetKind == CameraFollowPlacement::kTargetPoint && Finite(point))
            s.targetPoint = point;
        else
        {
            m.action = 0;
            return 0;
        }
        s.targetKind = record.targetKind;
        s.stickYaw = 0;
        s.autoBehind = 0;
    }
    else
    {
        const bool hasDuration =
            (record.given & CameraFollowPlacement::kGivenDuration) && std::isfinite(record.duration);
        if (action == 2 && !hasDuration)
        {
            m.action = 0;
            return 0;
        }
        Vector flat;
        if (hasDirection && Horizontal(direction, &flat))
        {
            s.stickYaw = 0;
            s.autoBehind = 0;
            s.turnTarget = flat;
            s.transitions |= kTurn;
        }
        if (action == 1)
            mEndCallback = 1;
        else if (action == 2)
        {
            mEndCallback = 2;
            s.actionDuration = record.duration;
        }
    }
    if ((record.given & CameraFollowPlacement::kGivenPitch) && std::isfinite(record.pitch))
    {
        s.pitchTarget = record.pitch;
        s.stickPitch = 0;
        s.autoPitch = 0;
        s.transitions |= kPitch;
    }
    if ((record.given & CameraFollowPlacement::kGivenDistance) && std::isfinite(record.distance))
    {
        s.distance = s.distanceTarget = record.distance;
        s.transitions |= kDistance;
    }
    if ((record.given & CameraFollowPlacement::kGivenHeight) && std::isfinite(record.height))
    {
        s.height = record.height;
        s.transitions |= kHeight;
    }
    return 1;
}

void CameraFollow::Behind()
{
    CameraFollowModule& m = Module();
    if (m.action == 1 || m.action == 2)
        EndAction();
    if (!m.zoomed)
    {
        mState.storedFacing = FollowedFacing();
        mState.behindTimer = 0.7f;
    }
    mState.pitchBackTimer = 0.7f;
}

void CameraFollow::OnTransitionsEnded()
{
    const int32_t callback = mEndCallback;
    mEndCallback = 0;
    switch (callback)
    {
    case 1:
        EndAction();
        break;
    case 2:
        Module().actionTimer = mState.actionDuration;
        break;
    case 3:
        EndAimTurn();
        break;
    default:
        break;
    }
}

// ---- The current follow camera ------------------------------------------------------------------------

const CameraFollowModule& CameraFollowGetModule()
{
    return Module();
}

CameraFollow* CameraFollowGetCurrent()
{
    return Module().current;
}

int32_t CameraFollowSetPreset(int32_t preset)
{
    CameraFollow* camera = Module().current;
    if (!camera)
        return 0;
    camera->SetPreset(preset);
    return 1;
}

int32_t CameraFollowAction(const CameraFollowPlacement& record)
{
    CameraFollow* camera = Module().current;
    return camera ? camera->Action(record) : 0;
}

float CameraFollowGetYawSpeed()
{
    CameraFollow* camera = Module().current;
    return camera ? camera->GetState().yawSpeed : 0.0f;
}

int32_t CameraFollowGetLookPoint(Vector* out)
{
    CameraFollow* camera = Module().current;
    if (!camera || !out)
        return 0;
    *out = camera->GetState().lookPoint;
    return 1;
}

void CameraFollowSetHooks(const CameraFollowHooks* hooks)
{
    gHooks = hooks ? *hooks : CameraFollowHooks{};
    Refresh();
}

// ---- The stage's cameras ----------------------------------------------------------------------------------

namespace
{
void FollowCameraCreate()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    WScene* scene = world ? world->GetScene() : nullptr;
    GameStateManager* manager = GameStateManager::Existing();
    GameState* state = manager ? manager->GetCurrentState() : nullptr;
    GameProfile* profile = state ? state->GetProfile() : nullptr;
    if (!scene)
        return;
    // A level script that makes its cameras twice keeps one follow camera.
    if (profile && profile->followCamera >= 0)
    {
        TsCameraRegistry::RemoveCamera(profile->followCamera);
        profile->followCamera = -1;
    }
    CameraFollow* camera = CameraFollow::Create();
    if (!camera)
        return;
    camera->AddRef();
    const int32_t id = TsCameraRegistry::AddCamera(camera, scene);
    camera->Release();
    if (id < 0)
        return;
    TsCameraRegistry::ActivateCamera(id);
    TsCameraRegistry::SetCurrentCamera(id);
    if (profile)
        profile->followCamera = id;
    CameraFollowPlacement follow;
    follow.kind = CameraFollowPlacement::kFollow;
    follow.actor = world->GetHero();
    TsCameraRegistry::SetCameraPlacement(id, &follow);
}
} // namespace

void InGameCamerasCreate()
{
    FollowCameraCreate();
    ScenaricCameraCreate();
}
