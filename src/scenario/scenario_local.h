// What the files of the module "scenaric" share: the bound actor of a script object with the
// errors every function raises, vertices, and the current level's root node.
#pragma once

#include "matrix.h"

#include <Python.h>

#include <cstdint>

class TsActor;
class W3dNode;
class W3dFrame;
struct Frame;

// ---- Method tables of each group (a null row ends each) --------------------------------------

PyMethodDef* ScenaricGeometryMethods();
PyMethodDef* ScenaricActorMethods();
PyMethodDef* ScenaricCollisionMethods();
PyMethodDef* ScenaricEventMethods();
PyMethodDef* ScenaricInventoryMethods();
PyMethodDef* ScenaricPerceptionMethods();
PyMethodDef* ScenaricLevelMethods();

// ---- Bound actors ------------------------------------------------------------------------------

/// The live actor bound to the script object; null with a TypeError naming the function when
/// the object was never given to CreateActor or its actor is gone.
TsActor* ScenaricActorArg(PyObject* object, const char* function);
/// The same, and the actor's node; null with a TypeError when the actor has none.
W3dNode* ScenaricNodeArg(PyObject* object, const char* function, TsActor** actor = nullptr);
/// Forgets every binding (a new interpreter holds new objects).
void ScenaricBindingsReset();

// ---- Values ------------------------------------------------------------------------------------

/// Reads a vertex argument; false when the object is not a vertex.
bool ScenaricVertexOf(PyObject* object, Vector* out);
/// A new vertex, or null with a TypeError carrying the text.
PyObject* ScenaricNewVertex(const Vector& v, const char* failure);
/// Sets a TypeError with the text; null.
PyObject* ScenaricFail(const char* text);

// ---- The level ---------------------------------------------------------------------------------

/// The root node of the script world's scene, or null.
W3dFrame* ScenaricLevelRoot();
/// Hangs the node under the level's root when it belongs to no scene.
void ScenaricPlaceInLevel(W3dNode* node);
/// The engine frame of a bone of the node's animated model; null when the node is not one or
/// the bone is unknown.
Frame* ScenaricBoneFrame(W3dNode* node, const char* bone);
void ScenaricEventsReset();
void ScenaricSkillsReset();
/// Gives the new module the owner of the skill status objects GetSkillStatus hands out again
/// (released with the module); -1 with the error set when it cannot.
int ScenaricSkillsKeepStatuses(PyObject* module);
