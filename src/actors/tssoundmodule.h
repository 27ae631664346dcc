// The script module "sound" (PlaySound, GetSoundLength, SetSoundFade) and the game's
// one-call way to play a sound resource, optionally placed in 3D.
#pragma once

#include <cstdint>

typedef struct _object PyObject;
struct Vector;

/// Starts the sound on a free channel and, with a position, places it there; the slot or -1.
int32_t TsFModPlaySoundAt(const char* identifier, const Vector* position);
/// Fills the module's dictionary from the method table; 1 (also without a dictionary), 0 when
/// a function cannot be put in it.
int32_t TsSoundModuleInit(PyObject* module);
