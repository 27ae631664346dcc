// Simple physics: objects the level scripts register rest on others; when a support is marked
// dirty, those above it fall, bounce on what lies below and rest again.
#pragma once

#include <cstdint>

typedef struct _object PyObject;
class W3dNode;

constexpr int32_t kPhysicsMaxEntries = 128;

/// 1 with the node on the idle stack; 0 when 128 entries are already idle.
int32_t PhysicsRegister(W3dNode* node);
/// 1 when an idle entry of the node was found and marked dead; 0 otherwise.
int32_t PhysicsUnRegister(W3dNode* node);
/// Wakes every idle entry resting on the node; 1.
int32_t PhysicsSetDirty(W3dNode* node);

/// Stage enter: the shared type's values and the step counter.
void PhysicsInitConstants();
/// Every in-mission frame, after the debris.
void PhysicsStep();
/// Stage leave: every idle entry destroyed. Active ones go back at the next step.
void PhysicsFreeBodies();
/// Shut-down: idle and active entries destroyed.
void PhysicsFreeAll();

int32_t PhysicsIdleCount();
int32_t PhysicsActiveCount();
/// The body state of the node's entry (idle or active), -1 without one: for tests.
int32_t PhysicsBodyState(W3dNode* node);

void PhysicsModuleFill(PyObject* module, int32_t argument);
