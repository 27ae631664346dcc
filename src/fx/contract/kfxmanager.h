// KfxManager: what the renderer's frame and the game ask of the effect manager (the camera
// the effects draw through, the per-frame advance of their render lists, the drawing of the
// two effect groups, plays and binds of effects). The effect layer sits above the renderer,
// so it installs its manager here when it starts; until then the calls keep the camera, draw
// nothing and play nothing.
#pragma once

#include <cstdint>

struct Camera;
struct FxContext;
class KFX;

/// The effect layer's manager, as the renderer reaches it.
class KfxManagerBackend
{
public:
    virtual ~KfxManagerBackend() = default;
    /// The camera changed (null: none); every effect definition and render list takes it.
    virtual void SetCamera(Camera* camera) = 0;
    /// Advances the effect render lists by the frame time.
    virtual void UpdateAll() = 0;
    /// Draws the priority lists of the group through the engine's current camera.
    virtual void RenderGroup(int32_t group) = 0;
    // The game's calls; a manager that only draws answers 0 and does nothing.
    virtual int32_t PlayOneShot(int32_t, const FxContext*) { return 0; }
    virtual int32_t BindDefinition(KFX*, int32_t, const FxContext*) { return 0; }
    virtual void Prealloc() {}
    virtual void ForEachEmitterReset() {}
    virtual void ResetRenderLists() {}
    virtual void Shutdown() {}
};

class KfxManager
{
public:
    /// Drawn before the characters, with depth test and depth write off.
    static constexpr int32_t kGroupBeforeCharacters = 1;
    /// Drawn after the characters and the transparent layer, depth test on, depth write off.
    static constexpr int32_t kGroupAfterCharacters = 2;

    /// Gives the camera (null for none) to the effects; nothing when it is the one they have.
    static void SetCamera(Camera* camera);
    /// Once per updated frame.
    static void UpdateAll();
    /// group kGroupBeforeCharacters or kGroupAfterCharacters, inside the camera's update.
    /// The renderer sets depth test (off for group 1, on for group 2), depth write off,
    /// vertex alpha on and fog off before the group; emitters may set their own depth states
    /// (an emitter class's depth states win inside the group) and need not restore them or
    /// vertex alpha and fog, which the renderer puts back after the group. Any other state an
    /// emitter changes it restores itself.
    static void RenderGroup(int32_t group);
    /// The camera the effects have.
    static Camera* GetCamera();

    /// Plays effect index once at the context; 0 without a definition there.
    static int32_t PlayOneShot(int32_t index, const FxContext* context);
    /// Binds effect index to the object and places it (not started); 0 without a definition.
    static int32_t BindDefinition(KFX* effect, int32_t index, const FxContext* context);
    /// Fills the classes' idle pools (stage entry).
    static void Prealloc();
    /// Deletes idle instances and unbinds every effect object (stage or game-over exit).
    static void ForEachEmitterReset();
    /// Empties the render lists (stage exit).
    static void ResetRenderLists();
    /// Empties the lists and deletes every definition.
    static void Shutdown();

    /// The effect layer's manager (null: none); the caller keeps it alive until it installs
    /// null. The camera the effects have is handed to it.
    static void Install(KfxManagerBackend* backend);
    static KfxManagerBackend* GetBackend();
};
