// Debris: piece pools per model name, running launches and the script module "fx3d".
#include "fx3d.h"

#include "fxbody.h"
#include "fxfade.h"
#include "fxservices.h"
#include "hbclock.h"
#include "hbhashmap.h"
#include "hbptrlist.h"

#include <Python.h>

#include <algorithm>
#include <memory>

namespace
{
struct Fx3dPiecePool
{
    int32_t reserved = 0;
    std::unique_ptr<FxBody[]> bodies;
    std::unique_ptr<FxModelHolder[]> holders;
    /// The used pieces first.
    std::vector<FxBody*> table;
    int32_t used = 0;

    void Free(FxBody* body)
    {
        for (int32_t i = 0; i < used; ++i)
            if (table[i] == body)
            {
                std::swap(table[i], table[used - 1]);
                --used;
                return;
            }
    }
};

StringHashMap gPools;
HbPtrList gLaunches{10};

Fx3dPiecePool* PoolOf(const char* name)
{
    return static_cast<Fx3dPiecePool*>(gPools.Lookup(name));
}

void LaunchPieces(Fx3dLaunch& launch, int64_t now)
{
    launch.lastLaunchTime = now;
    Fx3dPiecePool* pool = PoolOf(launch.name.c_str());
    if (!pool)
        return;
    const int32_t capacity = int32_t(launch.pieces.size());
    // A piece taken but not held by the launch would never come back to the pool.
    for (int32_t i = 0; i < launch.type->pieces && pool->used < int32_t(pool->table.size()) && launch.count < capacity;
         ++i)
    {
        FxBody* body = pool->table[pool->used++];
        launch.pieces[launch.count++] = body;
        body->Launch(now, *launch.type, launch);
    }
}

void StepLaunch(Fx3dLaunch& launch, int64_t now, float stepSeconds)
{
    const Fx3dType& t = *launch.type;
    for (int32_t i = 0; i < launch.count; ++i)
        launch.pieces[i]->Integrate(now, stepSeconds);
    for (int32_t i = 0; i < launch.count; ++i)
        launch.pieces[i]->Collide(now, t, launch);
    for (int32_t i = 0; i < launch.count; ++i)
        launch.pieces[i]->Apply();
    for (int32_t i = 0; i < launch.count; ++i)
        launch.pieces[i]->Finish(now, t);
    Fx3dPiecePool* pool = PoolOf(launch.name.c_str());
    for (int32_t i = 0; i < launch.count;)
    {
        if (launch.pieces[i]->state != FxBody::kRemoved)
        {
            ++i;
            continue;
        }
        if (pool)
            pool->Free(launch.pieces[i]);
        launch.pieces[i] = launch.pieces[--launch.count];
    }
    if (now - launch.launchTime <= t.launchWindow && now - launch.lastLaunchTime > t.launchInterval)
        LaunchPieces(launch, now);
    if (launch.count == 0)
        launch.finished = 1;
}

void FreeLaunch(Fx3dLaunch* launch)
{
    for (int32_t i = 0; i < launch->count; ++i)
        launch->pieces[i]->holder->RemoveFromWorld();
    delete launch;
}
} // namespace

void Fx3dReserve(const char* name, int32_t count)
{
    if (!name)
        return;
    Fx3dPiecePool* pool = PoolOf(name);
    if (!pool)
    {
        void** slot = gPools.FindOrInsert(name);
        if (!slot)
            return;
        pool = new Fx3dPiecePool();
        *slot = pool;
    }
    pool->reserved += count;
}

void Fx3dAllocateAll()
{
    HbPosition position = gPools.GetStartPosition();
    std::string name;
    void* value = nullptr;
    while (position && gPools.GetNextAssoc(position, name, value))
    {
        auto* pool = static_cast<Fx3dPiecePool*>(value);
        if (pool->bodies)
            continue;
        const int32_t count = std::clamp(pool->reserved, 0, kFx3dMaxPiecesPerModel);
        pool->bodies = std::make_unique<FxBody[]>(size_t(count));
        pool->holders = std::make_unique<FxModelHolder[]>(size_t(count));
        pool->table.reserve(size_t(count));
        for (int32_t i = 0; i < count; ++i)
        {
            // A missing model gives no piece: its launches finish at their first step.
            if (!pool->holders[i].Load(name.c_str()))
                continue;
            pool->bodies[i].holder = &pool->holders[i];
            pool->table.push_back(&pool->bodies[i]);
        }
    }
}

void Fx3dLaunchAt(int32_t type, const char* name, const float* position, float ground)
{
    const Fx3dType* t = Fx3dGetType(type);
    if (!t || !name || !PoolOf(name))
        return;
    auto* launch = new Fx3dLaunch();
    launch->position[0] = position[0], launch->position[1] = position[1], launch->position[2] = position[2];
    float found = 0.0f;
    launch->ground = FxGroundProbe(position, 20.0f, 50000.0f, &found) ? found : ground;
    launch->name = name;
    launch->type = t;
    launch->pieces.assign(size_t(std::max(t->piecesReserved, 0)), nullptr);
    if (!gLaunches.AddTail(launch))
    {
        delete launch;
        return;
    }
    const int64_t now = HbGameClock::Instance()->mGameTime;
    launch->launchTime = now;
    LaunchPieces(*launch, now);
}

void Fx3dStep()
{
    HbGameClock* clock = HbGameClock::Instance();
    for (HbPtrListNode* node = gLaunches.GetHead(); node;)
    {
        HbPtrListNode* next = node->next;
        auto* launch = static_cast<Fx3dLaunch*>(node->value);
        StepLaunch(*launch, clock->mGameTime, clock->mStepSeconds);
        if (launch->finished)
        {
            gLaunches.RemoveAt(node);
            delete launch;
        }
        node = next;
    }
}

void Fx3dFreeAll()
{
    // Pending fades would call back into the pieces freed here.
    FxFadeClearAll();
    while (gLaunches.GetCount() > 0)
        FreeLaunch(static_cast<Fx3dLaunch*>(gLaunches.PopFront()));
    HbPosition position = gPools.GetStartPosition();
    std::string name;
    void* value = nullptr;
    while (position && gPools.GetNextAssoc(position, name, value))
        delete static_cast<Fx3dPiecePool*>(value);
    gPools.RemoveAll();
}

int32_t Fx3dReservedCount(const char* name)
{
    Fx3dPiecePool* pool = PoolOf(name);
    return pool ? pool->reserved : 0;
}

int32_t Fx3dAllocatedCount(const char* name)
{
    Fx3dPiecePool* pool = PoolOf(name);
    return pool ? int32_t(pool->table.size()) : 0;
}

int32_t Fx3dUsedCount(const char* name)
{
    Fx3dPiecePool* pool = PoolOf(name);
    return pool ? pool->used : 0;
}

int32_t Fx3dLaunchCount()
{
    return gLaunches.GetCount();
}

namespace
{
Fx3dLaunch* LaunchAt(int32_t index)
{
    HbPtrListNode* node = gLaunches.GetHead();
    for (int32_t i = 0; node && i < index; ++i)
        node = node->next;
    return node ? static_cast<Fx3dLaunch*>(node->value) : nullptr;
}
} // namespace

int32_t Fx3dPieceCount(int32_t launch)
{
    Fx3dLaunch* l = LaunchAt(launch);
    return l ? l->count : 0;
}

W3dNode* Fx3dPieceNode(int32_t launch, int32_t piece)
{
    Fx3dLaunch* l = LaunchAt(launch);
    return l && piece >= 0 && piece < l->count ? l->pieces[piece]->holder->GetNode() : nullptr;
}

int32_t Fx3dPieceState(int32_t launch, int32_t piece)
{
    Fx3dLaunch* l = LaunchAt(launch);
    return l && piece >= 0 && piece < l->count ? l->pieces[piece]->state : -1;
}

// ---- Module "fx3d" -------------------------------------------------------------------------------

namespace
{
/// The type and the tuple's names checked before anything starts; false with TypeError set.
bool CheckArguments(int32_t type, PyObject* names, const char* function)
{
    if (!Fx3dGetType(type))
    {
        PyErr_Format(PyExc_TypeError, "fx3d.%s : unknown debris type %d", function, type);
        return false;
    }
    if (!PyTuple_Check(names))
    {
        PyErr_Format(PyExc_TypeError, "fx3d.%s : model names are not a tuple", function);
        return false;
    }
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(names); ++i)
    {
        PyObject* item = PyTuple_GET_ITEM(names, i);
        if (item != Py_None && !PyUnicode_Check(item))
        {
            PyErr_Format(PyExc_TypeError, "fx3d.%s : model name is not a string", function);
            return false;
        }
    }
    return true;
}

PyObject* Play(PyObject*, PyObject* args)
{
    int32_t type = 0;
    PyObject* names = nullptr;
    PyObject* object = nullptr;
    float p[3] = {0, 0, 0};
    float ground = 0.0f;
    if (!PyArg_ParseTuple(args, "iOOffff", &type, &names, &object, &p[0], &p[1], &p[2], &ground))
        return nullptr;
    if (!CheckArguments(type, names, "Play"))
        return nullptr;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(names); ++i)
    {
        PyObject* item = PyTuple_GET_ITEM(names, i);
        const char* name = item == Py_None ? nullptr : PyUnicode_AsUTF8(item);
        if (item != Py_None && !name)
            return nullptr;
        if (name)
            Fx3dLaunchAt(type, name, p, ground);
    }
    Py_RETURN_NONE;
}

PyObject* Reserve(PyObject*, PyObject* args)
{
    int32_t type = 0;
    PyObject* names = nullptr;
    if (!PyArg_ParseTuple(args, "iO", &type, &names))
        return nullptr;
    if (!CheckArguments(type, names, "Reserve"))
        return nullptr;
    const int32_t count = Fx3dGetType(type)->piecesReserved;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(names); ++i)
    {
        PyObject* item = PyTuple_GET_ITEM(names, i);
        const char* name = item == Py_None ? nullptr : PyUnicode_AsUTF8(item);
        if (item != Py_None && !name)
            return nullptr;
        if (name)
            Fx3dReserve(name, count);
    }
    Py_RETURN_NONE;
}

PyMethodDef kFx3dMethods[] = {
    {"Play", Play, METH_VARARGS, nullptr},
    {"Reserve", Reserve, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};
} // namespace

void Fx3dModuleFill(PyObject* module, int32_t)
{
    if (!FxAddFunctions(module, kFx3dMethods))
        return;
    const std::pair<const char*, int32_t> constants[] = {
        {"FX3D_TYPE_BOX", kFx3dTypeBox},
        {"FX3D_TYPE_BARIL", kFx3dTypeBaril},
        {"FX3D_TYPE_BARIL_WOOD", kFx3dTypeBarilWood},
        {"FX3D_TYPE_BARIL_BRIDGE", kFx3dTypeBarilBridge},
    };
    for (const auto& [name, value] : constants)
        if (PyModule_AddIntConstant(module, name, value) != 0)
        {
            PyErr_Clear();
            return;
        }
}
