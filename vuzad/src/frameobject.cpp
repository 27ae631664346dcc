// Frame objects: attaching to and detaching from frames.
#include "frameobject.h"

#include "frame.h"

#include <cstddef>

void FrameObject::Init(FrameObject* object, uint8_t type, FrameObjectSyncCallback sync)
{
    object->type = type;
    object->subType = 0;
    object->flags = 0;
    object->privateFlags = 0;
    object->frame = nullptr;
    ListLink::Init(&object->link);
    object->sync = sync;
}

void FrameObject::SetFrame(FrameObject* object, Frame* frame)
{
    if (object->frame)
        ListLink::Unlink(&object->link);
    object->frame = frame;
    if (frame)
    {
        ListLink::InsertAtHead(&frame->objects, &object->link);
        Frame::UpdateObjects(frame);
    }
}

void FrameObject::RemoveFromFrame(FrameObject* object)
{
    ListLink::Unlink(&object->link);
}

FrameObject* FrameObject::FromLink(ListLink* link)
{
    return reinterpret_cast<FrameObject*>(reinterpret_cast<char*>(link) - offsetof(FrameObject, link));
}
