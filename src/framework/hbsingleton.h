// HbSingleton: the lazily created singletons of the framework, destroyed by the
// exit list in reverse order of creation.
#pragma once

#include "hbexitlist.h"

/// T derives from HbAllocated and has a default constructor this template can
/// reach (public, or a friend declaration).
template <typename T> class HbSingleton
{
public:
    /// The object, made on the first call: it is stored and marked created before
    /// its destroy callback goes on the exit list, so that a creation the exit
    /// list itself triggers finds it. Null once the exit list has destroyed it
    /// (nothing is created after that), or when out of memory.
    static T* Instance()
    {
        if (sCreated)
            return sInstance;
        T* object = new T();
        if (sCreated)
        {
            // Allocating the object made the framework heap, which made this
            // singleton first.
            delete object;
            return sInstance;
        }
        if (!object)
            return nullptr;
        sInstance = object;
        sCreated = true;
        HbExitList::Add(&Destroy);
        return object;
    }

    /// The exit-list callback: destroys and frees the object, clears the pointer.
    static void Destroy()
    {
        T* object = sInstance;
        sInstance = nullptr;
        delete object;
    }

private:
    static inline T* sInstance = nullptr;
    static inline bool sCreated = false;
};
