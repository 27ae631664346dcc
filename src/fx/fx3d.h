// Debris: piece pools per model name reserved by the level scripts and allocated at stage
// enter, the running launches the stage's frame advances, and the script module "fx3d".
#pragma once

#include <cstdint>

typedef struct _object PyObject;

/// Pieces allocated per model name at most.
constexpr int32_t kFx3dMaxPiecesPerModel = 50;

/// Adds count to the name's reservation.
void Fx3dReserve(const char* name, int32_t count);
/// Stage enter: min(reservation, 50) pieces per reserved name, each with its model loaded.
void Fx3dAllocateAll();
/// Starts a launch of type (0 to 3) for the model at the point; ground is used when the
/// level has no ground below it. Nothing for another type or an unreserved name.
void Fx3dLaunchAt(int32_t type, const char* name, const float* position, float ground);
/// Every in-mission frame: advances the running launches and deletes the finished ones.
void Fx3dStep();
/// Stage leave and shut-down: every launch (pieces out of the world) and pool freed, the
/// names forgotten.
void Fx3dFreeAll();

/// For tests: reservation and allocated pieces of a name, pieces in use, running launches.
int32_t Fx3dReservedCount(const char* name);
int32_t Fx3dAllocatedCount(const char* name);
int32_t Fx3dUsedCount(const char* name);
int32_t Fx3dLaunchCount();
/// The node of piece index of launch (in launch order), or null.
class W3dNode;
W3dNode* Fx3dPieceNode(int32_t launch, int32_t piece);
int32_t Fx3dPieceCount(int32_t launch);
int32_t Fx3dPieceState(int32_t launch, int32_t piece);

void Fx3dModuleFill(PyObject* module, int32_t argument);
