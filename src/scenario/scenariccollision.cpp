// The collision-set functions of the module "scenaric": a node's movement or shooting
// collision tree built from a list of items in breadth-first order.
#include "frame.h"
#include "hbresource.h"
#include "rdanimmotor.h"
#include "rdnameidtable.h"
#include "scenario_local.h"
#include "tsactor.h"
#include "w3danimobject.h"
#include "w3dcollision.h"
#include "w3dnode.h"
#include "watomicowner.h"
#include "clump.h"
#include "world.h"

#include <deque>
#include <utility>

namespace
{
constexpr const char* kKindNotInteger = "GetHIFromPyObject : specified variable TYPE is not an integer";

enum ItemKind
{
    kSphere = 0,
    kBox = 1,
    kBoneBox = 2,
    kModel = 3,
};

bool IntOf(PyObject* object, int32_t* out)
{
    if (!PyLong_Check(object))
        return false;
    int overflow = 0;
    const long value = PyLong_AsLongAndOverflow(object, &overflow);
    if (overflow || value < INT32_MIN || value > INT32_MAX)
        return false;
    *out = int32_t(value);
    return true;
}

/// A 3-tuple of numbers.
bool TripleOf(PyObject* object, Vector* out)
{
    if (!PyTuple_Check(object) || PyTuple_GET_SIZE(object) != 3)
        return false;
    float v[3];
    for (Py_ssize_t i = 0; i < 3; ++i)
    {
        PyObject* item = PyTuple_GET_ITEM(object, i);
        if (!PyFloat_Check(item) && !PyLong_Check(item))
            return false;
        v[i] = float(PyFloat_AsDouble(item));
        if (PyErr_Occurred())
        {
            PyErr_Clear();
            return false;
        }
    }
    *out = {v[0], v[1], v[2]};
    return true;
}

void SetOwner(Atomic* atomic, W3dNode* node)
{
    if (AtomicOwnerData* data = atomic ? AtomicOwner::Get(atomic) : nullptr)
        data->owner = node;
}

int32_t SetOwnerOfNodeAtomic(W3dNode*, Atomic* atomic, void* node)
{
    SetOwner(atomic, static_cast<W3dNode*>(node));
    return 1;
}

/// Hangs the frame under the bone's frame and moves it by the offset there.
void PlaceUnder(Frame* frame, Frame* bone, const Vector& offset)
{
    Frame::AddChild(bone, frame);
    Frame::Translate(frame, &offset, kCombinePreConcat);
}

struct Item
{
    int32_t kind = 0;
    PyObject* size = nullptr;
    Frame* bone = nullptr;
    int32_t boneId = -1;
    Vector offset = {0.0f, 0.0f, 0.0f};
    int32_t mask = 0;
    int32_t children = 0;
};

/// Reads the six elements; false when the item yields nothing (the kind's error text set for
/// a kind that is not an integer).
bool ParseItem(PyObject* tuple, W3dNode* node, Item* item, bool* kindError)
{
    if (!PyTuple_Check(tuple) || PyTuple_GET_SIZE(tuple) != 6)
        return false;
    if (!IntOf(PyTuple_GET_ITEM(tuple, 0), &item->kind))
    {
        *kindError = true;
        return false;
    }
    item->size = PyTuple_GET_ITEM(tuple, 1);
    if (!IntOf(PyTuple_GET_ITEM(tuple, 4), &item->mask) || !IntOf(PyTuple_GET_ITEM(tuple, 5), &item->children))
        return false;
    PyObject* bone = PyTuple_GET_ITEM(tuple, 2);
    if (bone == Py_None)
        item->bone = node->GetEngineFrame();
    else if (const char* name = PyUnicode_Check(bone) ? PyUnicode_AsUTF8(bone) : nullptr)
    {
        item->bone = ScenaricBoneFrame(node, name);
        NameIdTable* bones = NameIdTable::Bones();
        item->boneId = bones ? bones->FindIdByName(name) : -1;
    }
    else
        PyErr_Clear();
    if (!item->bone)
        return false;
    PyObject* offset = PyTuple_GET_ITEM(tuple, 3);
    return offset == Py_None || TripleOf(offset, &item->offset);
}

/// The collision node of one item, or null.
W3dCollisionNode* BuildItem(const Item& item, W3dNode* node)
{
    WScene* scene = node->GetScene();
    W3dCollisionNode* volume = nullptr;
    switch (item.kind)
    {
    case kSphere:
    {
        if (!PyFloat_Check(item.size))
            return nullptr;
        const float radius = float(PyFloat_AS_DOUBLE(item.size));
        Frame* frame = Frame::Create();
        if (!frame)
            return nullptr;
        Frame::SetIdentity(frame);
        PlaceUnder(frame, item.bone, item.offset);
        if (radius >= 0.0f)
        {
            Sphere* sphere = W3dCollisionNode::NewSphere({{0.0f, 0.0f, 0.0f}, radius});
            volume = sphere ? W3dCollisionNode::CreateForFrame(frame, sphere, scene) : nullptr;
            if (!volume)
                delete sphere;
        }
        else
        {
            // The node's own bounding sphere, borrowed: the mask bit says so.
            volume = W3dCollisionNode::CreateForFrame(frame, const_cast<Sphere*>(node->GetBoundingSphere()), scene);
            if (volume)
                volume->AddMask(W3dCollisionNode::kBorrowedSphere);
        }
        if (!volume)
            Frame::Destroy(frame);
        break;
    }
    case kBox:
    case kBoneBox:
    {
        Vector size = {0.0f, 0.0f, 0.0f};
        Atomic* atomic = nullptr;
        if (item.kind == kBox)
        {
            if (!TripleOf(item.size, &size))
                return nullptr;
            const float box[6] = {size.x / 2, size.y / 2, size.z / 2, -size.x / 2, -size.y / 2, -size.z / 2};
            atomic = CreateBoxGeometry(box);
        }
        else
        {
            auto* model = HbCastTo<W3dAnimObject>(node);
            if ((item.size != Py_None && !TripleOf(item.size, &size)) || !model || item.boneId <= 0)
                return nullptr;
            atomic = model->GetMotor().BuildBoneBox(item.boneId, &size, &item.offset);
        }
        if (!atomic)
            return nullptr;
        SetOwner(atomic, node);
        if (Frame* frame = atomic->object.frame)
        {
            if (item.kind == kBox)
                PlaceUnder(frame, item.bone, item.offset);
            else
                Frame::AddChild(item.bone, frame);
        }
        volume = W3dCollisionNode::CreateForAtomic(atomic, scene);
        if (!volume)
        {
            Frame* frame = atomic->object.frame;
            Atomic::SetFrame(atomic, nullptr);
            Atomic::Destroy(atomic);
            if (frame)
                Frame::Destroy(frame);
        }
        break;
    }
    case kModel:
    {
        const char* id = PyUnicode_Check(item.size) ? PyUnicode_AsUTF8(item.size) : nullptr;
        HbResourceManager* resources = HbResourceManager::Instance();
        if (!id || !resources)
        {
            PyErr_Clear();
            return nullptr;
        }
        // The volume takes the reference it keeps; the manager hands out none. Another kind
        // of object made for this call alone is dropped; a shared one belongs to its holders.
        HbRoot* resource = resources->GetResource(id);
        auto* object = HbCastTo<W3dNode>(resource);
        if (!object)
        {
            if (resource && !resource->IsShared())
                resource->Release();
            return nullptr;
        }
        object->ClearMoveCollisionSet();
        object->ClearShootCollisionSet();
        if (Frame* frame = object->GetEngineFrame())
        {
            Frame::SetIdentity(frame);
            PlaceUnder(frame, item.bone, item.offset);
        }
        volume = W3dCollisionNode::CreateForNode(object, scene);
        object->ForAllAtomics(SetOwnerOfNodeAtomic, node);
        break;
    }
    default:
        return nullptr;
    }
    if (volume)
        volume->AddMask(uint8_t(item.mask));
    return volume;
}

/// Builds the tree from the list; the error text of a bad kind stays set.
void BuildTree(W3dCollisionTree& tree, W3dNode* node, PyObject* list)
{
    PyObject* items = PySequence_Fast(list, "the collision set must be a list");
    if (!items)
        return;
    const Py_ssize_t count = PySequence_Fast_GET_SIZE(items);
    bool kindError = false;
    Item first;
    W3dCollisionNode* root = nullptr;
    if (count > 0 && ParseItem(PySequence_Fast_GET_ITEM(items, 0), node, &first, &kindError))
        root = BuildItem(first, node);
    if (root)
    {
        std::deque<std::pair<W3dCollisionNode*, int32_t>> queue = {{root, first.children}};
        int32_t given = 0;
        for (Py_ssize_t i = 1; i < count; ++i)
        {
            while (!queue.empty() && given >= queue.front().second)
            {
                queue.pop_front();
                given = 0;
            }
            // More items than the child counts take: the rest have no parent.
            if (queue.empty())
                break;
            Item item;
            W3dCollisionNode* child = nullptr;
            if (ParseItem(PySequence_Fast_GET_ITEM(items, i), node, &item, &kindError))
                child = BuildItem(item, node);
            if (child)
            {
                queue.front().first->AddChild(child);
                queue.emplace_back(child, item.children);
            }
            ++given;
        }
        tree.SetRoot(root);
    }
    Py_DECREF(items);
    if (kindError && !PyErr_Occurred())
        PyErr_SetString(PyExc_TypeError, kKindNotInteger);
}

PyObject* LoadCollisionSet(PyObject* args, const char* format, const char* function, bool shoot)
{
    PyObject* object = nullptr;
    PyObject* list = nullptr;
    if (!PyArg_ParseTuple(args, format, &object, &list))
        return nullptr;
    W3dNode* node = ScenaricNodeArg(object, function);
    if (!node)
        return nullptr;
    if (shoot)
        node->ClearShootCollisionSet();
    else
        node->ClearMoveCollisionSet();
    W3dCollisionTree& tree = shoot ? node->GetShootCollisionSet() : node->GetMoveCollisionSet();
    if (!tree.GetRoot())
        BuildTree(tree, node, list);
    if (PyErr_Occurred())
        return nullptr;
    Py_RETURN_NONE;
}

PyObject* LoadMoveCollisionSet(PyObject*, PyObject* args)
{
    return LoadCollisionSet(args, "OO:LoadMoveCollisionSet", "LoadMoveCollisionSet", false);
}

PyObject* LoadShootCollisionSet(PyObject*, PyObject* args)
{
    return LoadCollisionSet(args, "OO:LoadShootCollisionSet", "LoadShootCollisionSet", true);
}

PyMethodDef gMethods[] = {
    {"LoadMoveCollisionSet", LoadMoveCollisionSet, METH_VARARGS, nullptr},
    {"LoadShootCollisionSet", LoadShootCollisionSet, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};
} // namespace

PyMethodDef* ScenaricCollisionMethods()
{
    return gMethods;
}
