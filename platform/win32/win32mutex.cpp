// Mutex objects: unnamed, recursive, owned by a thread, waited on from any
// thread. Handles are never reused and live in a range of their own.
#include "win32_local.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace
{
struct MutexObject
{
    std::mutex lock;
    std::condition_variable released;
    std::thread::id owner;
    uint32_t depth = 0;
};

// Guards the table only; a wait holds a reference, so closing a handle that
// another thread waits on does not free the object under it.
std::mutex gTableLock;
std::unordered_map<uintptr_t, std::shared_ptr<MutexObject>> gMutexes;
uintptr_t gNextMutex = 0x40000000;

std::shared_ptr<MutexObject> Find(HANDLE handle)
{
    std::lock_guard<std::mutex> guard(gTableLock);
    auto it = gMutexes.find(reinterpret_cast<uintptr_t>(handle));
    return it == gMutexes.end() ? nullptr : it->second;
}
} // namespace

HANDLE CreateMutexA(SECURITY_ATTRIBUTES* attributes, BOOL initialOwner, LPCSTR name)
{
    // Named mutexes are shared between processes; nothing here needs that.
    if (name)
        return nullptr;
    auto object = std::make_shared<MutexObject>();
    if (initialOwner)
    {
        object->owner = std::this_thread::get_id();
        object->depth = 1;
    }
    std::lock_guard<std::mutex> guard(gTableLock);
    uintptr_t value = gNextMutex;
    gNextMutex += 4;
    gMutexes[value] = std::move(object);
    return reinterpret_cast<HANDLE>(value);
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds)
{
    std::shared_ptr<MutexObject> mutex = Find(object);
    if (!mutex)
        return WAIT_FAILED;
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock<std::mutex> hold(mutex->lock);
    auto free = [&] { return mutex->depth == 0 || mutex->owner == self; };
    if (milliseconds == INFINITE)
        mutex->released.wait(hold, free);
    else if (!mutex->released.wait_for(hold, std::chrono::milliseconds(milliseconds), free))
        return WAIT_TIMEOUT;
    mutex->owner = self;
    ++mutex->depth;
    return WAIT_OBJECT_0;
}

BOOL ReleaseMutex(HANDLE handle)
{
    std::shared_ptr<MutexObject> mutex = Find(handle);
    if (!mutex)
        return FALSE;
    std::lock_guard<std::mutex> hold(mutex->lock);
    if (mutex->depth == 0 || mutex->owner != std::this_thread::get_id())
        return FALSE;
    if (--mutex->depth == 0)
    {
        mutex->owner = std::thread::id();
        mutex->released.notify_one();
    }
    return TRUE;
}

bool Win32CloseMutex(HANDLE handle)
{
    std::lock_guard<std::mutex> guard(gTableLock);
    return gMutexes.erase(reinterpret_cast<uintptr_t>(handle)) != 0;
}
