// Frame objects: the header that cameras, atomics and lights begin with, which hangs
// them on a frame and lets the frame synchronisation bring them up to date.
#pragma once

#include "linklist.h"

#include <cstdint>

struct Frame;
struct FrameObject;

/// Called once the object's frame has an up-to-date world matrix; answers the object.
using FrameObjectSyncCallback = FrameObject* (*)(FrameObject* object);

struct FrameObject
{
    uint8_t type;
    uint8_t subType;
    uint8_t flags;
    uint8_t privateFlags;
    Frame* frame;
    ListLink link; ///< in the frame's circular object list
    FrameObjectSyncCallback sync;

    /// Sets up the header of a new object: no frame, not linked.
    static void Init(FrameObject* object, uint8_t type, FrameObjectSyncCallback sync);
    /// Moves the object from its frame (if any) to the head of frame's list (if not null)
    /// and marks that frame so the object is synchronised. Attaching to the same frame
    /// again leaves it linked once.
    static void SetFrame(FrameObject* object, Frame* frame);
    /// Unlinks the object; its frame pointer stays.
    static void RemoveFromFrame(FrameObject* object);
    static FrameObject* FromLink(ListLink* link);
};
