// Helpers shared by the standard particle plug-in's files: the rings of tables, classes
// and emitters, and the module's scratch buffers.
#pragma once

#include <cstddef>
#include <cstdint>

// A ring is held by its most recently added element, whose next is the oldest.
template <typename T> void RingInsert(T** ring, T* element)
{
    if (!*ring)
        element->next = element;
    else
    {
        element->next = (*ring)->next;
        (*ring)->next = element;
    }
    *ring = element;
}

/// False when the element is not in the ring.
template <typename T> bool RingUnlink(T** ring, T* element)
{
    if (!*ring || !element)
        return false;
    T* previous = *ring;
    do
    {
        if (previous->next == element)
        {
            if (previous == element)
                *ring = nullptr;
            else
            {
                previous->next = element->next;
                if (*ring == element)
                    *ring = previous;
            }
            element->next = element;
            return true;
        }
        previous = previous->next;
    } while (previous != *ring);
    return false;
}

/// Compares addresses only: a freed element is never read.
template <typename T> bool RingContains(T* ring, const T* element)
{
    if (!ring || !element)
        return false;
    T* e = ring;
    do
    {
        if (e == element)
            return true;
        e = e->next;
    } while (e != ring);
    return false;
}

enum PrtStdScratchBuffer
{
    kPrtStdScratchSizes,  ///< rounded sizes of a table being made
    kPrtStdScratchStream, ///< ids and sizes read from a stream
};

/// The scratch buffer grown to hold at least bytes (128 at first); null when memory fails
/// (the old buffer is kept).
void* PrtStdScratch(PrtStdScratchBuffer which, size_t bytes);
/// Both scratch buffers freed (engine close).
void PrtStdFreeScratch();
/// A new class id unique among the live classes of both kinds.
uint32_t PrtStdNextClassId();
/// Whether a live class of either kind has the id.
bool PrtStdClassIdInUse(uint32_t id);
