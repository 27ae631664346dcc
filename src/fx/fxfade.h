// Object fades: a scene node's items move to its fade layer and draw with an opacity that
// falls from 1 to 0 over a time, then an end callback runs.
#pragma once

#include <cstdint>

class HbHandlePtr;
class W3dNode;

using FxFadeCallback = void (*)(void* user);

/// Starts fading the object the handle names over duration seconds. 1 when it runs; 0 when
/// it cannot (no object, not in a scene, no fade layer), the callback having run already.
int32_t FxFadeStart(const HbHandlePtr& object, float duration, FxFadeCallback callback, void* user);
/// Advances every pending fade; finished ones run their callback and are dropped.
void FxFadeStep();
/// Drops every pending fade without callbacks; live objects get their hook cleared and go
/// back to their normal layer.
void FxFadeClearAll();
/// Pending fades, for tests.
int32_t FxFadeCount();
