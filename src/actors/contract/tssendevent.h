// TsSendEvent: one event sent to an actor and waiting in the script world's queue.
// Records come from a pool of 200 (heap beyond).
#pragma once

#include "hbperclassfreelist.h"

#include <cstdint>

class TsActor;

class TsSendEvent
{
    HB_DECLARE_CLASS_POOL();

public:
    static constexpr int32_t kPoolSize = 200;

    /// A record with every field zero; null when out of memory.
    static TsSendEvent* Allocate() { return new TsSendEvent(); }
    /// Gives the record back (null does nothing).
    static void Free(TsSendEvent* event) { delete event; }

    int32_t id = 0;
    TsActor* sender = nullptr;
    TsActor* target = nullptr;
    float value = 0.0f;
};
