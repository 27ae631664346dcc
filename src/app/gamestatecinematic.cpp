// GameState_Cinematic: the video player driven frame by frame, the band the video is drawn on,
// the subtitles placed above the bottom of the screen, and the way on to the next state.
#include "gamestatecinematic.h"

#include "camera.h"
#include "engine.h"
#include "gameinputaction.h"
#include "gameprofile.h"
#include "gamestatemanager.h"
#include "hbinputmanager.h"
#include "hbresource.h"
#include "hbtext.h"
#include "resourcegroups.h"
#include "tsfmod.h"
#include "tssubtitles.h"
#include "tsvideo.h"
#include "w2dmenu.h"
#include "w2dsurfacelist.h"
#include "w2dtextgraphicitem.h"
#include "w2dtextsurface.h"
#include "wrenderer.h"

#include <iterator>
#include <string>

namespace
{
const char* const kContext = "Cinematic";

enum VideoState : int32_t
{
    kPlaying = 1,
    kEnded = 2,
    kFailed = 3,
};

GameInputAction gSkip{"SKIP_CINEMATIC"};

Camera* MainCamera()
{
    WRenderer* renderer = WRenderer::Existing();
    return renderer ? renderer->GetMainCamera() : nullptr;
}

/// The render states the video band changes, handed back as they were.
constexpr int32_t kSavedStates[] = {
    kRenderStateFog,         kRenderStateTextureFilter,  kRenderStateZTest,
    kRenderStateZWrite,      kRenderStateTextureAddress, kRenderStateTextureRaster,
    kRenderStateVertexAlpha, kRenderStateSourceBlend,    kRenderStateDestBlend,
};
} // namespace

GameState_Cinematic::GameState_Cinematic() : GameState(kGameStateCinematic) {}

GameState_Cinematic::~GameState_Cinematic()
{
    if (W2dTextGraphicItem* subtitle = mSubtitle)
    {
        mSubtitle = nullptr;
        subtitle->Release();
        subtitle->HbRoot::Release();
    }
}

void GameState_Cinematic::Enter()
{
    // The base entry marks the state entered: the manager sends a state never entered back to
    // the main menu as one still to be built.
    GameState::Enter();
    // The way out of an earlier visit is no longer pending: the game manager would otherwise
    // name that state as current until this one's first update. The base entry also marks the
    // state entered, without which the manager takes it for a placeholder.
    GameState::Enter();
    ResourceGroupUnload("FRONTEND");
    if (W2dTextGraphicItem* subtitle = mSubtitle)
    {
        mSubtitle = nullptr;
        subtitle->Release();
        subtitle->HbRoot::Release();
    }
    mPlaying = 0;
    TsFModStopAllChannels();

    GameProfile* profile = GetProfile();
    HbResourceManager* resources = HbResourceManager::Instance();
    const std::string video = profile ? profile->cinematicVideo : std::string();
    const std::string path = resources && !video.empty() ? resources->GetPath(video.c_str()) : "";
    if (!path.empty())
    {
        const std::string subtitles = resources->GetPath((video + "_SUB").c_str());
        if (!subtitles.empty())
            TsSubtitlesLoad(subtitles.c_str());
        if (TsVideoOpen(path.c_str(), nullptr, 0) == 0)
        {
            TsVideoAllowSkip(profile->cinematicSkippable);
            Camera* camera = MainCamera();
            const Raster* target = camera ? camera->frameBuffer : nullptr;
            const float w = target ? float(target->width) : 0.0f;
            const float h = target ? float(target->height) : 0.0f;
            const float top = (h - kBandAspect * w) * 0.5f;
            Engine* engine = Engine::Current();
            const float z = engine ? engine->device.zBufferNear : 0.0f;
            const float recipZ = camera && camera->nearPlane > 0.0f ? 1.0f / camera->nearPlane : 1.0f;
            // Corners: top left, top right, bottom left, bottom right; drawn as a strip 0, 2, 1, 3.
            mQuad[0] = {0.0f, top, z, recipZ, 0xFFFFFFFFu, 0.0f, 0.0f};
            mQuad[1] = {w, top, z, recipZ, 0xFFFFFFFFu, 1.0f, 0.0f};
            mQuad[2] = {0.0f, h - top, z, recipZ, 0xFFFFFFFFu, 0.0f, 1.0f};
            mQuad[3] = {w, h - top, z, recipZ, 0xFFFFFFFFu, 1.0f, 1.0f};
            if (auto* subtitle = new W2dTextGraphicItem(W2dMenu::kMenuFont, nullptr))
            {
                subtitle->AddRef();
                mSubtitle = subtitle;
                subtitle->SetPriority(100);
                subtitle->Create();
                subtitle->SetJustify(0);
            }
            mPlaying = 1;
        }
    }
    if (HbInputManager* input = HbInputManager::Instance())
        input->PushCommandContext(kContext);
}

void GameState_Cinematic::Resume() {}

void GameState_Cinematic::Suspend() {}

void GameState_Cinematic::Update()
{
    int32_t state = kEnded;
    Raster* frame = nullptr;
    float time = 0.0f;
    if (mPlaying)
    {
        // The poll reports a failure by its answer and may leave the state as it was: a video
        // that failed is over, or a cut-scene nobody may skip would never end.
        state = kFailed;
        if (TsVideoPoll(&frame, &time, &state) != 0)
            state = kFailed;
    }
    if (state == kPlaying)
    {
        ShowSubtitle(time);
        DrawFrame(frame);
    }
    else if (state == kEnded || state == kFailed)
    {
        GoOn();
        return;
    }
    GameProfile* profile = GetProfile();
    if (profile && profile->cinematicSkippable && gSkip.IsTriggered())
    {
        if (mSubtitle)
            mSubtitle->Hide();
        DrawFrame(nullptr);
        GoOn();
    }
}

void GameState_Cinematic::ShowSubtitle(float time)
{
    if (!mSubtitle)
        return;
    const TsSubtitle* subtitle = TsSubtitlesGetAt(time);
    HbText* text = subtitle ? HbCastTo<HbText>(subtitle->text) : nullptr;
    if (!text)
    {
        mSubtitle->Hide();
        return;
    }
    mSubtitle->SetCharHeight(subtitle->height);
    mSubtitle->SetSize({0.86f, 0.05f, 0.0f});
    mSubtitle->SetPosition({0.07f, 0.95f, 0.0f});
    // The same subtitle shows for many frames: its text is only laid out again when it changes.
    if (mSubtitle->GetText() != text->GetText())
        mSubtitle->SetText(text->GetText().c_str());
    // The text wraps at the item's width: each line moves it one line height up.
    int32_t lines = 1;
    if (auto* surface = HbCastTo<W2dTextSurface>(mSubtitle->GetSurface()))
        lines = surface->GetLineCount();
    mSubtitle->SetPosition({0.07f, 0.95f - float(lines) * subtitle->height, 0.0f});
    mSubtitle->Show();
}

void GameState_Cinematic::DrawFrame(Raster* videoFrame)
{
    Camera* camera = MainCamera();
    if (!camera)
        return;
    Camera::Clear(camera, &mClearColour, kCameraClearImage | kCameraClearZ);
    if (Camera::BeginUpdate(camera))
    {
        if (videoFrame)
            DrawVideo(videoFrame);
        if (W2dSurfaceList* list = WRenderer::Existing()->GetSurfaceList())
            list->Render();
        Camera::EndUpdate(camera);
    }
    Camera::ShowRaster(camera, nullptr, 0);
}

void GameState_Cinematic::DrawVideo(Raster* videoFrame)
{
    Engine* engine = Engine::Current();
    if (!engine || !engine->device.setRenderState || !engine->device.getRenderState ||
        !engine->device.im2DIndexedPrimitive)
        return;
    DeviceRecord& device = engine->device;
    intptr_t saved[std::size(kSavedStates)] = {};
    for (size_t i = 0; i < std::size(kSavedStates); ++i)
        device.getRenderState(kSavedStates[i], &saved[i]);
    device.setRenderState(kRenderStateFog, 0);
    device.setRenderState(kRenderStateTextureFilter, 1);
    device.setRenderState(kRenderStateZTest, 0);
    device.setRenderState(kRenderStateZWrite, 0);
    device.setRenderState(kRenderStateTextureAddress, 3);
    device.setRenderState(kRenderStateTextureRaster, reinterpret_cast<intptr_t>(videoFrame));
    device.setRenderState(kRenderStateVertexAlpha, 1);
    device.setRenderState(kRenderStateSourceBlend, 5);
    device.setRenderState(kRenderStateDestBlend, 6);
    // The decode thread writes the frame under the same lock.
    static const uint16_t kIndices[4] = {0, 2, 1, 3};
    if (TsVideoLockFrame())
    {
        device.im2DIndexedPrimitive(kIm2DTriStrip, mQuad, 4, kIndices, 4);
        TsVideoUnlockFrame();
    }
    for (size_t i = std::size(kSavedStates); i-- > 0;)
        device.setRenderState(kSavedStates[i], saved[i]);
}

void GameState_Cinematic::GoOn()
{
    if (GameProfile* profile = GetProfile())
        SwitchTo(profile->stateAfterCinematic);
}

void GameState_Cinematic::Leave()
{
    if (HbInputManager* input = HbInputManager::Instance())
        input->PopCommandContext(kContext);
    TsVideoClose();
    mPlaying = 0;
    if (W2dTextGraphicItem* subtitle = mSubtitle)
    {
        mSubtitle = nullptr;
        subtitle->Release();
        subtitle->HbRoot::Release();
    }
    TsSubtitlesClear();
    GameProfile* profile = GetProfile();
    if (profile && profile->stateAfterCinematic == kGameStateStage)
    {
        if (GameStateManager* manager = GameStateManager::Existing())
            manager->CreateLoadingIcon();
    }
    else
        ResourceGroupLoad("FRONTEND", 2);
}
