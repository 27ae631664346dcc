// Engine memory functions: the C runtime defaults and the calls through the engine record.
#include "memory.h"

#include "engine.h"

#include <cstdlib>

namespace
{

void* RuntimeAllocate(size_t size, uint32_t)
{
    return std::malloc(size);
}
void RuntimeFree(void* pointer)
{
    std::free(pointer);
}
void* RuntimeReallocate(void* pointer, size_t size, uint32_t)
{
    return std::realloc(pointer, size);
}
void* RuntimeAllocateZeroed(size_t count, size_t size, uint32_t)
{
    return std::calloc(count, size);
}

const MemoryFunctions kRuntimeFunctions = {RuntimeAllocate, RuntimeFree, RuntimeReallocate, RuntimeAllocateZeroed};

const MemoryFunctions& Current()
{
    const Engine* engine = Engine::Current();
    if (engine && engine->memoryFunctions.allocate)
        return engine->memoryFunctions;
    return kRuntimeFunctions;
}

} // namespace

const MemoryFunctions* Memory::DefaultFunctions()
{
    return &kRuntimeFunctions;
}

void* Memory::Allocate(size_t size, uint32_t hint)
{
    return Current().allocate(size, hint);
}

void Memory::Free(void* pointer)
{
    Current().free(pointer);
}

void* Memory::Reallocate(void* pointer, size_t size, uint32_t hint)
{
    return Current().reallocate(pointer, size, hint);
}

void* Memory::AllocateZeroed(size_t count, size_t size, uint32_t hint)
{
    return Current().allocateZeroed(count, size, hint);
}
