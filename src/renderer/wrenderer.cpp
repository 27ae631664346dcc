// The renderer's life: engine start-up with the framework's memory and file functions, the
// plug-in attachment, Start and Stop, the video modes and their changes, and the display
// preferences with the gamma.
#include "wrenderer.h"

#include "camera.h"
#include "clump.h"
#include "collision.h"
#include "d3d9device.h"
#include "engine.h"
#include "enginepluginlist.h"
#include "filesystem.h"
#include "frame.h"
#include "frameobject.h"
#include "hbapplication.h"
#include "hbexitlist.h"
#include "hbfile.h"
#include "hbmemory.h"
#include "hbvariable.h"
#include "image.h"
#include "matfx.h"
#include "ptank.h"
#include "raster.h"
#include "resourcearena.h"
#include "texture.h"
#include "toolkit2d.h"
#include "uvanim.h"
#include "w2dsurface.h"
#include "w2dsurfacelist.h"
#include "wanimatedtextureset.h"
#include "wfontmanager.h"
#include "world.h"
#include "wrenderlist.h"
#include "wscene.h"
#include "wshadows.h"
#include "wtexturemanager.h"
#include "wuvanimregistry.h"
#include "wviewport.h"

namespace
{
WRenderer* gRenderer = nullptr;
bool gExitCallbackAdded = false;

// ---- The framework's functions in the engine's tables -----------------------------------------
// The framework's engine memory has no use for the hints.

void* EngineAllocate(size_t size, uint32_t)
{
    return HbRenderMalloc(size);
}

void EngineFree(void* pointer)
{
    HbRenderFree(pointer);
}

void* EngineReallocate(void* pointer, size_t size, uint32_t)
{
    return HbRenderRealloc(pointer, size);
}

void* EngineAllocateZeroed(size_t count, size_t size, uint32_t)
{
    return HbRenderCalloc(count, size);
}

const MemoryFunctions kEngineMemory = {EngineAllocate, EngineFree, EngineReallocate, EngineAllocateZeroed};

int32_t FileExists(const char* name)
{
    return HbFileExists(name);
}

void* FileOpen(const char* name, const char* mode)
{
    return HbFileOpen(name, mode);
}

int32_t FileClose(void* file)
{
    return HbFileClose(static_cast<HbFile*>(file));
}

size_t FileRead(void* buffer, size_t size, size_t count, void* file)
{
    return HbFileRead(buffer, size, count, static_cast<HbFile*>(file));
}

size_t FileWrite(const void* buffer, size_t size, size_t count, void* file)
{
    return HbFileWrite(buffer, size, count, static_cast<HbFile*>(file));
}

char* FileGets(char* buffer, int32_t length, void* file)
{
    return HbFileGets(buffer, length, static_cast<HbFile*>(file));
}

int32_t FilePuts(const char* text, void* file)
{
    return HbFilePuts(text, static_cast<HbFile*>(file));
}

int32_t FileEof(void* file)
{
    return HbFileEof(static_cast<HbFile*>(file));
}

int32_t FileSeek(void* file, int64_t offset, int32_t origin)
{
    return HbFileSeek(static_cast<HbFile*>(file), offset, origin);
}

int32_t FileFlush(void* file)
{
    return HbFileFlush(static_cast<HbFile*>(file));
}

int64_t FileTell(void* file)
{
    return HbFileTell(static_cast<HbFile*>(file));
}

// ---- Modes ----------------------------------------------------------------------------------------

constexpr int32_t kModeExclusive = 0x1;

// Mode flags copied into window-state flags 0x4, 0x8, 0x10 and 0x20.
struct ModeFlagCopy
{
    int32_t mode;
    int32_t window;
};
constexpr ModeFlagCopy kModeFlagCopies[] = {
    {0x2, HbWindowState::kModeFlag2},
    {0x4, HbWindowState::kModeFlag4},
    {0x100, HbWindowState::kModeFlag100},
    {0x200, HbWindowState::kModeFlag200},
};

int32_t DepthOfKind(int32_t kind)
{
    return kind == WDisplaySettings::kDepth32 ? 32 : 16;
}

void ResizeRaster(Raster* raster, int32_t width, int32_t height)
{
    if (!raster)
        return;
    raster->width = width;
    raster->height = height;
    if (raster->parent && raster->parent != raster)
    {
        raster->parent->width = width;
        raster->parent->height = height;
    }
}

// ---- Gamma --------------------------------------------------------------------------------------------

// Corrects one texture with the present gamma tables; a step that fails skips the rest of it.
Texture* CorrectTexture(Texture* texture, void*)
{
    Raster* raster = texture->raster;
    if (!raster || !Raster::Lock(raster, 0, kRasterLockRead))
        return texture;
    // A 16-bit (or 24-bit) raster is read into a 32-bit image, the only kind the device fills
    // from it and the gamma tables correct; writing back converts to the raster's format.
    int32_t depth = raster->depth == 16 || raster->depth == 24 ? 32 : raster->depth;
    Image* image = Image::Create(raster->width ? raster->width : 1, raster->height ? raster->height : 1, depth);
    if (!image)
    {
        Raster::Unlock(raster);
        return texture;
    }
    bool read = Image::AllocatePixels(image) && Image::SetFromRaster(image, raster);
    Raster::Unlock(raster);
    if (read && Image::GammaCorrect(image) && Raster::Lock(raster, 0, kRasterLockWrite))
    {
        Raster::SetFromImage(raster, image);
        Raster::Unlock(raster);
    }
    Image::Destroy(image);
    return texture;
}
} // namespace

// ---- Life ---------------------------------------------------------------------------------------------------

WRenderer* WRenderer::Instance()
{
    if (!gRenderer)
    {
        if (!gExitCallbackAdded)
        {
            HbExitList::Add(DestroyInstance);
            gExitCallbackAdded = true;
        }
        gRenderer = new WRenderer();
    }
    return gRenderer;
}

WRenderer* WRenderer::Existing()
{
    return gRenderer;
}

void WRenderer::DestroyInstance()
{
    delete gRenderer;
    gRenderer = nullptr;
}

WRenderer::WRenderer()
{
    if (HbApplication* application = HbApplication::Get())
        mWindow = &application->WindowState();
    if (!InitEngine() || !AttachPlugins())
    {
        mStateBits |= kFailed;
        return;
    }
    InstallFileFunctions();
    // The device's open record begins with the window handle.
    HWND noWindow = nullptr;
    if (!Engine::Open(mWindow ? &mWindow->window : &noWindow))
    {
        mStateBits |= kFailed;
        return;
    }
    mStateBits |= kEngineOpened;
    WVideoModeList::Build(&mVideoModes);
}

WRenderer::~WRenderer()
{
    // A Start that failed half-way leaves what it built, the started engine included; it is
    // released here as after a whole Start, so the engine can close.
    if (mStateBits & (kStarted | kEngineStarted))
        Stop();
    if (mStateBits & kEngineOpened)
        Engine::Close();
    if (mStateBits & kEngineInitialised)
        Engine::Term();
    mCurrentCamera.Reset();
    FreeCustomRenderCallbacks();
}

int32_t WRenderer::InitEngine()
{
    // A missing variable counts as true: the engine keeps its free lists.
    int32_t useFreeLists = 1;
    HbGetBoolVariable("USEENGINEFREELISTS", useFreeLists);
    Engine::SetDriver(D3D9Device::Driver());
    if (!Engine::Init(&kEngineMemory, useFreeLists ? 0 : kEngineNoFreeLists, 0))
        return 0;
    mStateBits |= kEngineInitialised;
    return 1;
}

int32_t WRenderer::AttachPlugins()
{
    if (!World::Attach() || !Collision::Attach())
        return 0;
    if (!PTank::Attach() || !MatFx::Attach() || !UVAnim::Attach())
        return 0;
    return EnginePluginList::RunAll();
}

void WRenderer::InstallFileFunctions()
{
    FileFunctions* functions = FileSystem::GetFunctions();
    if (!functions)
        return;
    *functions = FileFunctions{FileExists, FileOpen, FileClose, FileRead,  FileWrite, FileGets,
                               FilePuts,   FileEof,  FileSeek,  FileFlush, FileTell};
}

int32_t WRenderer::Start(HbWindowState& window)
{
    // A Start that failed past the engine's start left it started with part of the frame's
    // pieces: the game retries with other depths without a Stop, so undo that here too.
    if (mStateBits & (kStarted | kEngineStarted))
        Stop();
    mWindow = &window;
    auto fail = [this]()
    {
        mStateBits |= kFailed;
        return 0;
    };
    if (!(mStateBits & kEngineInitialised) || !ChooseVideoMode(window) || !ResourceArena::SetSize(kInstanceArenaSize))
        return fail();
    D3D9Device::SetMultithreaded(1);
    D3D9Device::SetRefreshRate(kRefreshRate);
    if (!Engine::Start())
        return fail();
    mStateBits |= kEngineStarted;

    // Textures loaded from now on carry the file's gamma; they are not corrected until the
    // game saves its preferences.
    if (mPrefs.Read())
    {
        Image::BuildGammaTables(mPrefs.wantedGamma);
        if (WVideoPrefs::IsValid(mPrefs.settings))
            SelectVideoMode(mPrefs.settings);
    }

    mViewport = WViewport::Create(window);
    if (!mViewport)
        return fail();
    mViewport->AddRef();

    mMainCamera = Camera::Create();
    if (!mMainCamera)
        return fail();
    mMainCamera->frameBuffer = mViewport->GetFrameBuffer();
    mMainCamera->zBuffer = mViewport->GetDepthRaster();
    Frame* frame = Frame::Create();
    if (!frame)
        return fail();
    FrameObject::SetFrame(&mMainCamera->object, frame);

    WTextureManager* textures = WTextureManager::Instance();
    if (!textures || !textures->Init())
        return fail();
    UVAnimRegistryInit();
    Toolkit2d::Open(mMainCamera);
    mStateBits |= kToolkit2dOpen;
    if (!W2dSurface::CreateBrush())
        return fail();
    WShadows::Init();
    mSurfaceList = new W2dSurfaceList(mMainCamera);
    WFontManager* fonts = WFontManager::Instance();
    if (!mSurfaceList || !fonts || !fonts->Open())
        return fail();
    mAnimatedTextures = new WAnimatedTextureSet();
    if (!mAnimatedTextures)
        return fail();
    mAnimatedTextures->AddRef();

    // One empty frame clears and presents the screen and applies the preferred mode.
    BeginFrame();
    EndFrame();

    mStateBits |= kStarted;
    for (int32_t layer = 0; layer < kNumRenderLists; ++layer)
    {
        mRenderLists[layer] = layer == kTransparentLayer ? new WTransparentRenderList() : new WRenderList();
        if (!mRenderLists[layer])
            return fail();
        if (layer != kTransparentLayer)
            mRenderLists[layer]->SetFlags(WRenderList::kLit | (layer >= 3 ? uint32_t(WRenderList::kFading) : 0u));
    }
    return 1;
}

void WRenderer::Stop()
{
    mStateBits &= ~kStarted;
    // The scene goes first: its level takes its objects out of the lists.
    if (mCurrentScene)
        mCurrentScene->Release();
    mCurrentScene = nullptr;
    for (WRenderList*& list : mRenderLists)
    {
        delete list;
        list = nullptr;
    }
    if (mAnimatedTextures)
        mAnimatedTextures->Release();
    mAnimatedTextures = nullptr;
    if (WFontManager* fonts = WFontManager::Instance(); fonts && fonts->IsOpen())
        fonts->Close();
    if (mSurfaceList)
    {
        mSurfaceList->RemoveAll();
        delete mSurfaceList;
        mSurfaceList = nullptr;
    }
    WShadows::Shutdown();
    W2dSurface::DestroyBrush();
    if (mStateBits & kToolkit2dOpen)
    {
        Toolkit2d::Close();
        mStateBits &= ~kToolkit2dOpen;
    }
    if (WTextureManager* textures = WTextureManager::Instance())
        textures->DestroyDictionaries();
    UVAnimRegistryShutdown();
    if (mMainCamera)
    {
        Frame* frame = mMainCamera->object.frame;
        // The rasters are the viewport's.
        mMainCamera->frameBuffer = nullptr;
        mMainCamera->zBuffer = nullptr;
        Camera::Destroy(mMainCamera);
        mMainCamera = nullptr;
        if (frame)
            Frame::Destroy(frame);
    }
    if (mViewport)
        mViewport->Release();
    mViewport = nullptr;
    if (mStateBits & kEngineStarted)
    {
        Engine::Stop();
        mStateBits &= ~kEngineStarted;
    }
}

WRenderList* WRenderer::GetRenderList(int32_t layer) const
{
    return layer >= 0 && layer < kNumRenderLists ? mRenderLists[layer] : nullptr;
}

// ---- Video modes ----------------------------------------------------------------------------------------

int32_t WRenderer::ChooseVideoMode(HbWindowState& window)
{
    int32_t count = Engine::GetNumVideoModes();
    for (int32_t pass = 0; pass < 2; ++pass)
    {
        for (int32_t index = 0; index < count; ++index)
        {
            VideoMode mode{};
            if (!Engine::GetVideoModeInfo(&mode, index))
                continue;
            bool qualifies = pass == 0 ? window.ModeMatches(mode) : window.ModeFlagsMatch(mode);
            if (qualifies && ApplyVideoMode(window, index))
                return 1;
        }
    }
    return 0;
}

int32_t WRenderer::ApplyVideoMode(HbWindowState& window, int32_t modeIndex)
{
    VideoMode mode{};
    if (!Engine::SetVideoMode(modeIndex) || !Engine::GetVideoModeInfo(&mode, modeIndex))
        return 0;
    if (mode.flags & kModeExclusive)
    {
        window.flags |= HbWindowState::kFullScreen;
        window.clientWidth = window.requestedWidth = mode.width;
        window.clientHeight = window.requestedHeight = mode.height;
    }
    else
    {
        window.flags &= ~HbWindowState::kFullScreen;
    }
    window.colourDepth = mode.depth;
    for (const ModeFlagCopy& copy : kModeFlagCopies)
        window.flags = (mode.flags & copy.mode) ? (window.flags | copy.window) : (window.flags & ~copy.window);
    WVideoModeList::FindCurrent(&mVideoModes, window);
    return 1;
}

int32_t WRenderer::SelectVideoMode(const WDisplaySettings& settings)
{
    mRequested = settings;
    int32_t current = Engine::GetCurrentVideoMode();
    int32_t count = Engine::GetNumVideoModes();
    for (int32_t index = 0; index < count; ++index)
    {
        VideoMode mode{};
        if (!Engine::GetVideoModeInfo(&mode, index) || mode.width != settings.width || mode.height != settings.height)
            continue;
        if (settings.windowed)
        {
            // Leaving full screen at the same size is a change too: only a window already on
            // the desktop mode at that size needs none.
            if (index != current || current != 0)
                mPendingVideoMode = 0;
            return 1;
        }
        bool knownKind =
            settings.depthKind == WDisplaySettings::kDepth16 || settings.depthKind == WDisplaySettings::kDepth32;
        if (index > 0 && knownKind && mode.depth == DepthOfKind(settings.depthKind))
        {
            mPendingVideoMode = index;
            return 1;
        }
    }
    return 0;
}

void WRenderer::FindCurrentVideoMode()
{
    if (mWindow)
        WVideoModeList::FindCurrent(&mVideoModes, *mWindow);
}

void WRenderer::GetDisplaySettings(WDisplaySettings* out) const
{
    out->windowed = mVideoModes.fullScreen ? 0 : 1;
    out->width = mVideoModes.sizeCount > 0 ? mVideoModes.sizes[mVideoModes.currentSize].width : 0;
    out->height = mVideoModes.sizeCount > 0 ? mVideoModes.sizes[mVideoModes.currentSize].height : 0;
    out->depthKind = mVideoModes.depthCount > 0 ? mVideoModes.depthKinds[mVideoModes.currentDepth]
                                                : int32_t(WDisplaySettings::kDepthNotSet);
}

WDisplaySettings WRenderer::PresentSettings() const
{
    if (!mWindow)
        return mRequested;
    return {(mWindow->flags & HbWindowState::kFullScreen) ? 0 : 1, mWindow->requestedWidth, mWindow->requestedHeight,
            mWindow->colourDepth == 32 ? int32_t(WDisplaySettings::kDepth32) : int32_t(WDisplaySettings::kDepth16)};
}

int32_t WRenderer::ChangeVideoMode()
{
    int32_t target = mPendingVideoMode;
    int32_t previous = Engine::GetCurrentVideoMode();
    mRestoreSettings = PresentSettings();
    // The device falls back to its previous mode by itself when the new one cannot be reset,
    // so a change took only when the device is in the new mode afterwards.
    if (!D3D9Device::ChangeVideoMode(target) || Engine::GetCurrentVideoMode() != target)
    {
        D3D9Device::ChangeVideoMode(previous);
        mPendingVideoMode = -1;
        return 0;
    }
    mPendingVideoMode = -1;
    VideoMode mode{};
    Engine::GetVideoModeInfo(&mode, target);
    bool fullScreen = (mode.flags & kModeExclusive) != 0;
    int32_t width = fullScreen ? mode.width : mRequested.width;
    int32_t height = fullScreen ? mode.height : mRequested.height;
    int32_t depth = fullScreen ? mode.depth : DepthOfKind(mRequested.depthKind);
    if (mWindow)
    {
        mWindow->flags =
            fullScreen ? (mWindow->flags | HbWindowState::kFullScreen) : (mWindow->flags & ~HbWindowState::kFullScreen);
        mWindow->clientWidth = mWindow->requestedWidth = width;
        mWindow->clientHeight = mWindow->requestedHeight = height;
        mWindow->colourDepth = depth;
    }
    ResizeRasters(width, height);
    FollowWithWindow(fullScreen, width, height);
    if (mWindow)
        WVideoModeList::FindCurrent(&mVideoModes, *mWindow);
    mPrefs.settings = mRequested;
    mPrefs.Write();
    return 1;
}

void WRenderer::ResizeRasters(int32_t width, int32_t height)
{
    if (mViewport)
    {
        ResizeRaster(mViewport->GetFrameBuffer(), width, height);
        ResizeRaster(mViewport->GetDepthRaster(), width, height);
    }
    if (mMainCamera)
    {
        ResizeRaster(mMainCamera->frameBuffer, width, height);
        ResizeRaster(mMainCamera->zBuffer, width, height);
    }
    // Camera nodes render into the viewport's rasters, resized above.
}

void WRenderer::FollowWithWindow(bool fullScreen, int32_t width, int32_t height)
{
    if (!mWindow || !mWindow->window)
        return;
    HWND window = mWindow->window;
    if (fullScreen)
    {
        SetWindowLongA(window, GWL_STYLE, LONG(WS_POPUP));
        SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_FRAMECHANGED | SWP_SHOWWINDOW);
        ShowCursor(FALSE);
        return;
    }
    RECT rect = {0, 0, width, height};
    AdjustWindowRect(&rect, mWindow->style, FALSE);
    ShowWindow(window, SW_HIDE);
    SetWindowLongA(window, GWL_STYLE, LONG(mWindow->style));
    SetWindowPos(window, HWND_NOTOPMOST, 0, 0, rect.right - rect.left, rect.bottom - rect.top, SWP_SHOWWINDOW);
    ShowWindow(window, SW_SHOW);
    ShowCursor(TRUE);
}

// ---- Gamma ------------------------------------------------------------------------------------------------------

void WRenderer::CorrectTextures(float gamma)
{
    Image::BuildGammaTables(gamma);
    if (WTextureManager* textures = WTextureManager::Instance())
        textures->ForAllTextures(CorrectTexture, nullptr);
    // The fonts' own dictionary joins with the fonts.
}

void WRenderer::SaveVideoPrefs()
{
    if (mPrefs.wantedGamma == mPrefs.appliedGamma)
        return;
    float present = Image::GetGamma();
    if (present != 1.0f && present > 0.0f)
        CorrectTextures(1.0f / present);
    CorrectTextures(mPrefs.wantedGamma);
    mPrefs.appliedGamma = mPrefs.wantedGamma;
    mPrefs.Write();
}
