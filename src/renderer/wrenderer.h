// WRenderer: the one object through which the game starts, runs and stops the graphics
// engine; the video modes the options menu offers, the display settings the game asked for,
// a mode change waiting for the end of the frame, and the display preferences file.
#pragma once

#include "hbgrowarray.h"
#include "hbmemory.h"
#include "hbperclassfreelist.h"
#include "hbptr.h"
#include "wvideomodelist.h"
#include "wvideoprefs.h"

#include <cstdint>

struct Camera;
struct Clump;
struct HbWindowState;
class W2dSurfaceList;
class W3dCamera;
class W3dNode;
class WAnimatedTextureSet;
class WRenderList;
class WScene;
class WViewport;
struct TRenderDataItem;

class WRenderer : public HbAllocated
{
public:
    enum StateBit : uint32_t
    {
        kStarted = 0x01,
        kFailed = 0x02,
        kEngineInitialised = 0x04,
        kEngineOpened = 0x08,
        kEngineStarted = 0x10,
        kToolkit2dOpen = 0x20,
    };

    static constexpr int32_t kNumRenderLists = 6;
    static constexpr int32_t kTransparentLayer = 5;
    /// Bytes of the engine's instanced-data arena.
    static constexpr int32_t kInstanceArenaSize = 209715;
    /// The highest full-screen refresh rate asked of the device.
    static constexpr uint32_t kRefreshRate = 75;

    // ---- Life ---------------------------------------------------------------------------

    /// The renderer; constructing it on first use initialises the engine with the framework's
    /// memory functions, attaches the engine plug-ins, gives the engine the framework's file
    /// functions and opens it on the application's window. The outcome shows only in the
    /// state bits. Null when out of memory.
    static WRenderer* Instance();
    /// The exit list's callback: stops the renderer, closes and terminates the engine and
    /// frees the renderer; the next Instance constructs a new one.
    static void DestroyInstance();
    /// The renderer when one exists, else null (never constructs one).
    static WRenderer* Existing();

    /// Chooses and starts a video mode and builds what every frame needs. 1, or 0 at the
    /// first step that fails (kFailed set; what was built stays for Stop). A started
    /// renderer, or what a failed Start left past the engine's start, is stopped first, so
    /// Start can be retried.
    int32_t Start(HbWindowState& window);
    /// Releases what Start built and stops the engine; the engine stays open.
    void Stop();

    // ---- Video modes --------------------------------------------------------------------

    /// 1 when a mode matches (a change is then pending for the end of the frame, or none is
    /// needed), 0 when none does; the settings become the requested ones either way.
    int32_t SelectVideoMode(const WDisplaySettings& settings);
    /// The present size, depth kind and windowed flag from the video-mode list's choice.
    void GetDisplaySettings(WDisplaySettings* out) const;
    /// Switches to the pending mode (run by EndFrame). 1; 0 when the device could not switch
    /// (it is back in the previous mode and nothing is pending).
    int32_t ChangeVideoMode();
    /// Applies a changed gamma to every texture and rewrites vprefs.dat; nothing when the
    /// wanted gamma is the applied one.
    void SaveVideoPrefs();

    // ---- The frame ------------------------------------------------------------------------

    // A frame is BeginFrame, then (in play) UpdateFrame and RenderScene, then EndFrame. The
    // 3D pass and the ends of a frame are skipped while an inactive full-screen window hides
    // it; the updates go on.

    /// Clears the screen through the current camera node (else the main camera, to black).
    /// The clear's result, 0 when the frame may not draw.
    int32_t BeginFrame();
    /// Advances UV animations, animated textures, the scene's updatable nodes, the sky and
    /// the effects. Without a valid camera only the effects are told there is none.
    void UpdateFrame();
    /// The 3D pass through the current camera node in its fixed order: sky, world, effect
    /// group 1, layers 1, 2, 0, custom callbacks, layers 4, 3, the transparent layer back to
    /// front, effect group 2, the camera's overlays; then the shadows. Depth test, depth
    /// write, vertex alpha and fog are as before; cull mode is left at none.
    void RenderScene();
    /// Raises the real clock's frame count (every ended frame, drawn or not), then draws the
    /// 2D surfaces, presents and applies a pending mode change.
    void EndFrame();

    // ---- The scene ------------------------------------------------------------------------

    /// Makes the scene current with one reference, releasing the previous one's. The scene.
    WScene* SetScene(WScene* scene);
    /// Empties the six render lists and releases the current scene.
    void ReleaseScene();
    WScene* GetScene() const { return mCurrentScene; }

    // ---- Custom render callbacks ------------------------------------------------------------

    /// A function the 3D pass calls with its user pointer after layers 1, 2 and 0.
    struct TCustomRenderCB
    {
        HB_DECLARE_CLASS_POOL();
        static constexpr int32_t kPoolSize = 100;
        void (*function)(void* user) = nullptr;
        void* user = nullptr;
    };
    /// The callback's index (the slot last freed, else the first empty one, else a new
    /// one), or -1 when no record could be had.
    int32_t AddCustomRenderCallback(void (*function)(void* user), void* user);
    /// 1; 0 for an index outside the array or an empty slot.
    int32_t RemoveCustomRenderCallback(int32_t index);
    int32_t GetCustomRenderCallbackCount() const { return mCustomRenderCallbacks.GetCount(); }

    // ---- Clumps to prepare --------------------------------------------------------------------

    /// A loaded clump whose textures are measured once the level is loaded.
    static void RegisterClump(Clump* clump);
    /// Forgets the clump (a loader calls it before destroying a clump it registered, so
    /// that no freed clump is measured).
    static void UnregisterClump(Clump* clump);
    /// After a level has loaded: through the current camera, the clumps registered (then
    /// forgotten) and the level's world. Nothing without a valid camera.
    void PrepareClumps();
    static int32_t GetRegisteredClumpCount();

    // ---- Render lists ---------------------------------------------------------------------

    /// Lists the node's render items: transparent ones in the transparent layer, the others
    /// in layer (0 to 5; another layer lists them nowhere), that list re-sorted by texture
    /// after each addition. A full list leaves an item out, and an item already listed stays
    /// where it is. The node is marked as listed. 1.
    int32_t AddToRenderLists(W3dNode* node, int32_t layer);
    /// Takes each listed item of the node out of its list, re-sorting that list by texture;
    /// the node is marked as not listed. 0.
    int32_t RemoveFromRenderLists(W3dNode* node);

    // ---- Cameras ----------------------------------------------------------------------------

    /// A copy of the current-camera handle pointer, with its own handle reference.
    HbHandlePtr GetCamera() const { return mCurrentCamera; }
    /// The camera registry's choice of camera node (null for none).
    void SetCamera(HbRoot* camera) { mCurrentCamera.Assign(camera); }
    /// The current camera node when its object still lives; else the handle is released and
    /// null returned.
    W3dCamera* GetValidCamera();

    // ---- State ------------------------------------------------------------------------------

    uint32_t GetStateBits() const { return mStateBits; }
    int32_t GetPendingVideoMode() const { return mPendingVideoMode; }
    int32_t GetFrameCounter() const { return mFrameCounter; }
    const WDisplaySettings& GetRequested() const { return mRequested; }
    /// Read directly by the options menu.
    const WVideoModeList& GetVideoModes() const { return mVideoModes; }
    /// The options menu's choices edit the list's present choice in place.
    WVideoModeList& GetVideoModes() { return mVideoModes; }
    /// Sets the list's present choice from the window's present mode; nothing before Start.
    void FindCurrentVideoMode();
    WVideoPrefs& GetPrefs() { return mPrefs; }
    WViewport* GetViewport() const { return mViewport; }
    Camera* GetMainCamera() const { return mMainCamera; }
    WRenderList* GetRenderList(int32_t layer) const;
    W2dSurfaceList* GetSurfaceList() const { return mSurfaceList; }
    WAnimatedTextureSet* GetAnimatedTextures() const { return mAnimatedTextures; }

private:
    WRenderer();
    ~WRenderer();
    WRenderer(const WRenderer&) = delete;
    WRenderer& operator=(const WRenderer&) = delete;

    int32_t InitEngine();
    int32_t AttachPlugins();
    void InstallFileFunctions();
    int32_t ChooseVideoMode(HbWindowState& window);
    int32_t ApplyVideoMode(HbWindowState& window, int32_t modeIndex);
    /// The item is at its recorded slot of one of the six lists.
    bool IsListed(const TRenderDataItem* item) const;
    /// The may-draw test of every frame call: false while an inactive full-screen window
    /// hides the frame.
    bool MayDraw();
    void ResizeRasters(int32_t width, int32_t height);
    void FollowWithWindow(bool fullScreen, int32_t width, int32_t height);
    void RenderLayer(int32_t layer);
    void FreeCustomRenderCallbacks();
    /// The settings the window state describes now, for a mode change to fall back to.
    WDisplaySettings PresentSettings() const;
    /// Rebuilds the gamma tables for gamma and corrects every texture with them once.
    void CorrectTextures(float gamma);

    WRenderList* mRenderLists[kNumRenderLists] = {};
    HbPtrArray mCustomRenderCallbacks;
    int32_t mLastFreedCallback = -1;
    int32_t mActiveFlag = 1;
    int32_t mSampledFrame = 0;
    int32_t mFrameCounter = 0;
    int32_t mPendingVideoMode = -1;
    WDisplaySettings mRequested = {0, -1, -1, WDisplaySettings::kDepthNotSet};
    WVideoPrefs mPrefs;
    WVideoModeList mVideoModes = {};
    WViewport* mViewport = nullptr;
    Camera* mMainCamera = nullptr;
    WScene* mCurrentScene = nullptr;
    HbHandlePtr mCurrentCamera;
    W2dSurfaceList* mSurfaceList = nullptr;
    WAnimatedTextureSet* mAnimatedTextures = nullptr;
    uint32_t mStateBits = 0;
    /// The application's window state: the one given to Start, the application's until then.
    HbWindowState* mWindow = nullptr;
    /// What the window showed before the last mode change: a failed change goes back to it.
    WDisplaySettings mRestoreSettings = {};
};
