// The engine plug-ins the renderer attaches after its own: a list of attach functions,
// filled before the program's entry point and run in order when the engine starts.
#pragma once

#include "hbptrlist.h"

#include <cstdint>

/// An attach function: registers a plug-in's engine block and object extensions; only
/// between Engine::Init and Engine::Open. Non-zero for success.
using EnginePluginAttach = int (*)();

class EnginePluginList
{
public:
    /// The list (values are EnginePluginAttach), made on first use and destroyed by the exit
    /// list; null when out of memory. Appended to with HbPtrList::AddTail by static
    /// initialisers only.
    static HbPtrList* Instance();
    /// Appends an attach function; 1, or 0 when the list or its node cannot be had.
    static int Add(EnginePluginAttach attach);
    /// Every attach in list order; 0 as soon as one answers 0, else 1.
    static int RunAll();

    /// The keyframe toolkit, hierarchical animation and skin attached together, in that
    /// order: skinning plays hierarchies, which play keyframe animations. 0 when one fails.
    static int AttachAnimationPlugins();
};
