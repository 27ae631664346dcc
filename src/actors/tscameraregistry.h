// TsCameraRegistry: the cameras of the running level under small integer ids, active ones
// (placed every frame) and inactive ones, and the current camera the renderer draws with.
#pragma once

#include <cstdint>

struct Frame;
class TsCamera;
class WScene;

namespace TsCameraRegistry
{
/// Removes every camera as RemoveCamera does (releasing them) without keeping their ids;
/// no current camera; the next id is 0.
void Reset();
/// Hangs the camera (one reference) under the scene's root and files it inactive. Its id:
/// the oldest id given back, else the last id + 1. -1 for a null camera.
int32_t AddCamera(TsCamera* camera, WScene* scene);
/// Gives the id back, detaches the camera while its scene lives and releases it; a removed
/// current camera leaves no current camera. 0, or -1 for an id not registered.
int32_t RemoveCamera(int32_t id);
void ActivateCamera(int32_t id);
void DeactivateCamera(int32_t id);
/// The camera of the id (inactive ones first) becomes current (an unknown id keeps the
/// current one), and the renderer views through the current camera.
void SetCurrentCamera(int32_t id);
/// Active list first; null for an unknown id.
TsCamera* GetCamera(int32_t id);
/// The camera's SetPlacement with the record (its class's record type).
void SetCameraPlacement(int32_t id, const void* placement);
/// -1 without a current camera.
int32_t GetCurrentCameraId();
/// The current camera's frame, or null.
Frame* GetCurrentCameraNode();
/// ApplyPlacement of every active camera, in list order.
void UpdateActiveCameras();
/// At shut-down: every camera removed (ids not kept), no current camera.
void Clear();
/// Registered cameras, active and inactive.
int32_t GetActiveCount();
int32_t GetInactiveCount();
} // namespace TsCameraRegistry
