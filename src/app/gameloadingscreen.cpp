// The loading screen: a full-screen picture and a spinning disc, redrawn from the file
// layer's open hook while groups load, because the frame loop does not run then.
#include "gameloadingscreen.h"
#include "gamecommands.h"
#include "gameprofile.h"
#include "gamestatemanager.h"
#include "hbclock.h"
#include "hbfile.h"
#include "resourcegroups.h"
#include "w2ditemeffect.h"
#include "w2dsurface.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dsurfacelist.h"
#include "wrenderer.h"

namespace
{
int32_t sRedrawing = 0;

constexpr float kIconSide = 0.125f;
constexpr float kIconX = 0.8f;
constexpr float kIconY = 1.0f - 0.15f - 0.09f;

W2dSurfaceList* SurfaceList()
{
    WRenderer* renderer = WRenderer::Existing();
    return renderer ? renderer->GetSurfaceList() : nullptr;
}
} // namespace

void LoadingTickHook()
{
    if (GameStateManager* manager = GameStateManager::Existing())
        manager->LoadingTick();
}

void GameStateManager::StartLoadingScreen()
{
    mLoadingGroup = "loading";
    if (mProfile && GroupNameGetSectorPart(mProfile->sectorId.c_str()) == "S01")
        mLoadingGroup = GroupNameGetWorldPart(mProfile->sectorId.c_str());
    ResourceGroupLoad(mLoadingGroup.c_str(), 0);
    ShowLoadingPicture("FE_LOADING_SCREEN_TEX");
}

void GameStateManager::ShowLoadingPicture(const char* textureId)
{
    auto* picture = new W2dTexturedSurface(textureId, 0.0f, 0.0f, 1.0f, 1.0f, -100);
    if (!picture)
        return;
    picture->AddRef();
    const Rgba colour = picture->GetTexture() ? Rgba{255, 255, 255, 255} : Rgba{0, 0, 0, 255};
    picture->SetColor(&colour, &colour, &colour, &colour);
    if (W2dSurfaceList* list = SurfaceList())
        list->Insert(picture);
    picture->SetVisible(0);
    if (mLoadingPicture)
        RemoveExtraItems();
    mLoadingPicture = picture;
}

void GameStateManager::LoadingTick()
{
    if (!GameCommandsGetAllowLoadingTick() || sRedrawing)
        return;
    sRedrawing = 1;
    if (!mIconCreated)
    {
        mIconCreated = 1;
        CreateLoadingIcon();
    }
    if (HbRealClock* clock = HbRealClock::Instance())
        clock->Tick();
    if (mLoadingIcon && mLoadingIcon->GetSurface() && mLoadingIcon->GetSurface()->GetTexture())
        mLoadingIcon->Update();
    if (WRenderer* renderer = WRenderer::Existing())
    {
        renderer->BeginFrame();
        renderer->EndFrame();
    }
    sRedrawing = 0;
}

void GameStateManager::CreateLoadingIcon()
{
    auto* icon = new W2dBlendedPictureItem("FE_CD_ICON_TEX", 0.0f, nullptr);
    if (!icon)
        return;
    icon->AddRef();
    mLoadingIcon = icon;
    icon->SetPriority(200);
    icon->Create();
    icon->SetSize(Vector{kIconSide, kIconSide, 0.0f});
    icon->SetPosition(Vector{kIconX, kIconY, 0.0f});
    Vector size = {};
    icon->GetSize(&size);
    icon->SetRotationCentre(kIconX + size.x / 2.0f, kIconY + size.y / 2.0f);
    icon->Show();
    icon->SetRotation(45.0f);

    auto* spin = new W2dSpinEffect(static_cast<int64_t>(0.1 * static_cast<double>(HbPerformanceFrequency())));
    if (spin)
    {
        spin->AddRef();
        mSpinEffect = spin;
        icon->AddEffect(spin);
        HbFileBeforeOpenHook = LoadingTickHook;
        spin->Begin(static_cast<W2dSurfaceGraphicItem*>(icon));
    }
    if (!icon->GetSurface() || !icon->GetSurface()->GetTexture())
        icon->Hide();
    if (mLoadingPicture)
        mLoadingPicture->SetVisible(1);
    mIconCreated = 1;
    if (HbFileBeforeOpenHook)
        HbFileBeforeOpenHook();
}

void GameStateManager::StopLoadingScreen()
{
    if (mLoadingIcon && mSpinEffect)
    {
        mLoadingIcon->RemoveEffect(mSpinEffect);
        mSpinEffect->Release();
        mSpinEffect = nullptr;
    }
    if (mLoadingIcon)
    {
        mLoadingIcon->Release();
        mLoadingIcon->HbRoot::Release();
        mLoadingIcon = nullptr;
    }
    RemoveExtraItems();
    HbFileBeforeOpenHook = nullptr;
    mIconCreated = 0;
    if (mProfile && !mLoadingGroup.empty())
    {
        ResourceGroupUnload(mLoadingGroup.c_str());
        mLoadingGroup.clear();
    }
}
