// The test hook of the framework's allocation entry points (hbmemory.h).
#pragma once

/// Called (from any thread) at every allocation of the entry points of hbmemory.h, heap,
/// arenas and pools alike, whichever allocator serves them; null for none. For tests that
/// check a path allocates nothing.
using HbAllocationHook = void (*)();
void HbSetAllocationHook(HbAllocationHook hook);
