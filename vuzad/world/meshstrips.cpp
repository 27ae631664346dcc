// Triangle strips: triangles linked through shared edges (found through a hash of their
// vertex pairs), strips grown from the least connected triangles, and each material's
// strips joined into one.
#include "geometry.h"
#include "memory.h"
#include "world_local.h"

#include <cstring>
#include <unordered_map>

namespace
{

constexpr uint32_t kHeaderHint = kMemoryHintObject | 0x502;
constexpr int32_t kNone = -1;

struct Edge
{
    uint16_t v1, v2;
    int32_t tri1, tri2;
    int32_t next; ///< previous edge recorded with the same (v1, v2)
};

struct Tri
{
    uint16_t v[3];
    int32_t edge[3];
    int32_t freeNeighbours;
    int32_t bucketPrev, bucketNext;
    bool used;
};

class StripBuilder
{
public:
    StripBuilder(const uint16_t* indices, int32_t count) : mTris(size_t(count))
    {
        mEdges.reserve(size_t(count) * 3);
        mEdgeIndex.reserve(size_t(count) * 3);
        for (int32_t t = 0; t < count; ++t)
        {
            Tri& tri = mTris[size_t(t)];
            std::memcpy(tri.v, indices + 3 * t, sizeof(tri.v));
            tri.freeNeighbours = 0;
            tri.used = false;
            for (int k = 0; k < 3; ++k)
                tri.edge[k] = Link(t, tri.v[k], tri.v[(k + 1) % 3]);
        }
        for (int32_t t = 0; t < count; ++t)
            BucketInsert(t);
    }

    std::vector<uint16_t> Run()
    {
        std::vector<std::vector<uint16_t>> strips;
        for (;;)
        {
            int32_t start = kNone;
            if (mBuckets[0] != kNone)
                start = mBuckets[0];
            else
                for (int b = 1; b < 4 && start == kNone; ++b)
                    start = mBuckets[b];
            if (start == kNone)
                break;
            strips.push_back(mBuckets[0] == start ? Single(start) : Grow(start));
        }
        return Join(strips);
    }

private:
    static uint32_t Key(uint16_t a, uint16_t b) { return uint32_t(a) << 16 | b; }

    int32_t Link(int32_t t, uint16_t a, uint16_t b)
    {
        auto found = mEdgeIndex.find(Key(b, a));
        if (found != mEdgeIndex.end())
            for (int32_t e = found->second; e != kNone; e = mEdges[size_t(e)].next)
            {
                Edge& edge = mEdges[size_t(e)];
                if (edge.tri2 == kNone && edge.tri1 != t)
                {
                    edge.tri2 = t;
                    ++mTris[size_t(edge.tri1)].freeNeighbours;
                    ++mTris[size_t(t)].freeNeighbours;
                    return e;
                }
            }
        int32_t e = int32_t(mEdges.size());
        auto head = mEdgeIndex.find(Key(a, b));
        mEdges.push_back({a, b, t, kNone, head == mEdgeIndex.end() ? kNone : head->second});
        mEdgeIndex[Key(a, b)] = e;
        return e;
    }

    void BucketInsert(int32_t t)
    {
        Tri& tri = mTris[size_t(t)];
        int32_t& head = mBuckets[tri.freeNeighbours];
        tri.bucketPrev = kNone;
        tri.bucketNext = head;
        if (head != kNone)
            mTris[size_t(head)].bucketPrev = t;
        head = t;
    }

    void BucketRemove(int32_t t)
    {
        Tri& tri = mTris[size_t(t)];
        if (tri.bucketPrev != kNone)
            mTris[size_t(tri.bucketPrev)].bucketNext = tri.bucketNext;
        else
            mBuckets[tri.freeNeighbours] = tri.bucketNext;
        if (tri.bucketNext != kNone)
            mTris[size_t(tri.bucketNext)].bucketPrev = tri.bucketPrev;
    }

    /// The free triangle across edge e from t, or kNone.
    int32_t Across(int32_t t, int32_t e) const
    {
        const Edge& edge = mEdges[size_t(e)];
        int32_t other = edge.tri1 == t ? edge.tri2 : edge.tri1;
        return other != kNone && other != t && !mTris[size_t(other)].used ? other : kNone;
    }

    void MarkUsed(int32_t t)
    {
        BucketRemove(t);
        Tri& tri = mTris[size_t(t)];
        tri.used = true;
        for (int k = 0; k < 3; ++k)
        {
            int32_t n = Across(t, tri.edge[k]);
            if (n == kNone)
                continue;
            BucketRemove(n);
            --mTris[size_t(n)].freeNeighbours;
            BucketInsert(n);
        }
    }

    std::vector<uint16_t> Single(int32_t t)
    {
        MarkUsed(t);
        const Tri& tri = mTris[size_t(t)];
        return {tri.v[0], tri.v[1], tri.v[2]};
    }

    /// The edge of t that joins a and b.
    int32_t EdgeJoining(int32_t t, uint16_t a, uint16_t b) const
    {
        const Tri& tri = mTris[size_t(t)];
        for (int k = 0; k < 3; ++k)
        {
            uint16_t p = tri.v[k], q = tri.v[(k + 1) % 3];
            if ((p == a && q == b) || (p == b && q == a))
                return tri.edge[k];
        }
        return kNone;
    }

    /// Grows strip across edge e of triangle t as long as free triangles follow.
    void Extend(std::vector<uint16_t>& strip, int32_t t, int32_t e)
    {
        for (;;)
        {
            int32_t n = Across(t, e);
            if (n == kNone)
                return;
            MarkUsed(n);
            const Edge& in = mEdges[size_t(e)];
            const Tri& tri = mTris[size_t(n)];
            uint16_t v = tri.v[0];
            for (int k = 0; k < 3; ++k)
                if (tri.v[k] != in.v1 && tri.v[k] != in.v2)
                    v = tri.v[k];
            uint16_t last = strip.back(), before = strip[strip.size() - 2];
            int32_t straight = EdgeJoining(n, last, v);
            int32_t turn = EdgeJoining(n, before, v);
            if (straight != kNone && straight != e && Across(n, straight) != kNone)
            {
                strip.push_back(v);
                t = n;
                e = straight;
                continue;
            }
            if (turn != kNone && turn != e && Across(n, turn) != kNone && strip.size() % 2 == 0)
            {
                strip.push_back(before);
                strip.push_back(v);
                t = n;
                e = turn;
                continue;
            }
            strip.push_back(v);
            return;
        }
    }

    std::vector<uint16_t> Grow(int32_t t)
    {
        const Tri& tri = mTris[size_t(t)];
        int f[3];
        for (int k = 0; k < 3; ++k)
            f[k] = Across(t, tri.edge[k]) != kNone ? 2 : 1;
        int g;
        if (f[2] == 2 && f[1] == 2)
            g = 1;
        else if (f[0] == 2 && f[2] == 2)
            g = 2;
        else if (f[1] == 2 && f[0] == 2)
            g = 0;
        else if (f[1] < f[0])
            g = f[2] < f[0] ? 2 : 1;
        else
            g = f[2] >= f[1] ? 1 : 0;
        std::vector<uint16_t> forward = {tri.v[g], tri.v[(g + 1) % 3], tri.v[(g + 2) % 3]};
        int32_t forwardEdge = tri.edge[(g + 1) % 3];
        int32_t backwardEdge = tri.edge[g];
        MarkUsed(t);
        Extend(forward, t, forwardEdge);
        if (Across(t, backwardEdge) == kNone)
            return forward;
        std::vector<uint16_t> backward = {forward[1], forward[0]};
        Extend(backward, t, backwardEdge);
        if (backward.size() % 2 == 1)
            backward.push_back(backward[backward.size() - 2]);
        std::vector<uint16_t> strip;
        strip.reserve(backward.size() + forward.size());
        for (size_t i = backward.size(); i-- > 2;)
            strip.push_back(backward[i]);
        strip.insert(strip.end(), forward.begin(), forward.end());
        return strip;
    }

    static std::vector<uint16_t> Join(std::vector<std::vector<uint16_t>>& strips)
    {
        if (strips.empty())
            return {};
        std::vector<uint16_t> joined = strips[0];
        std::vector<bool> taken(strips.size());
        taken[0] = true;
        for (size_t left = strips.size() - 1; left > 0; --left)
        {
            size_t pick = strips.size(), firstFree = strips.size();
            int how = 2;
            uint16_t last = joined.back(), before = joined[joined.size() - 2];
            for (size_t i = 1; i < strips.size(); ++i)
            {
                if (taken[i])
                    continue;
                if (firstFree == strips.size())
                    firstFree = i;
                if (strips[i][0] == last)
                {
                    pick = i;
                    how = 0;
                    break;
                }
                if (how > 1 && strips[i][0] == before)
                {
                    pick = i;
                    how = 1;
                }
            }
            if (pick == strips.size())
                pick = firstFree;
            const std::vector<uint16_t>& strip = strips[pick];
            bool odd = joined.size() % 2 == 1;
            if (how == 0)
            {
                if (odd)
                    joined.push_back(strip[0]);
            }
            else if (how == 1)
            {
                joined.push_back(strip[0]);
                if (!odd)
                    joined.push_back(strip[0]);
            }
            else
            {
                joined.push_back(last);
                joined.push_back(strip[0]);
                if (odd)
                    joined.push_back(strip[0]);
            }
            joined.insert(joined.end(), strip.begin(), strip.end());
            taken[pick] = true;
        }
        return joined;
    }

    std::vector<Tri> mTris;
    std::vector<Edge> mEdges;
    std::unordered_map<uint32_t, int32_t> mEdgeIndex;
    int32_t mBuckets[4] = {kNone, kNone, kNone, kNone};
};

} // namespace

std::vector<uint16_t> BuildStripIndices(const uint16_t* triangles, int32_t numTriangles)
{
    StripBuilder builder(triangles, numTriangles);
    return builder.Run();
}

MeshHeader* MeshBuilder::BuildStrips(MeshBuilder* builder)
{
    Sort(builder);
    std::vector<std::vector<uint16_t>> runs;
    std::vector<Material*> materials;
    std::vector<uint16_t> indices;
    for (int32_t i = 0; i < builder->count;)
    {
        int32_t end = i;
        indices.clear();
        while (end < builder->count && builder->entries[end].material == builder->entries[i].material)
        {
            indices.insert(indices.end(), builder->entries[end].vertex, builder->entries[end].vertex + 3);
            ++end;
        }
        runs.push_back(BuildStripIndices(indices.data(), end - i));
        materials.push_back(builder->entries[i].material);
        i = end;
    }
    size_t total = 0;
    for (const auto& run : runs)
        total += run.size();
    size_t size = sizeof(MeshHeader) + runs.size() * sizeof(Mesh) + total * sizeof(uint16_t);
    auto* header = static_cast<MeshHeader*>(Memory::Allocate(size, kHeaderHint));
    if (!header)
    {
        WorldError(kErrNoMemory);
        return nullptr;
    }
    header->flags = 1;
    header->numMeshes = uint16_t(runs.size());
    header->serialNumber = MeshModule::NextSerial();
    header->totalIndices = uint32_t(total);
    header->firstMeshOffset = 0;
    Mesh* mesh = MeshHeader::Meshes(header);
    auto* index = reinterpret_cast<uint16_t*>(mesh + runs.size());
    for (size_t m = 0; m < runs.size(); ++m)
    {
        mesh[m] = {index, uint32_t(runs[m].size()), materials[m]};
        std::memcpy(index, runs[m].data(), runs[m].size() * sizeof(uint16_t));
        index += runs[m].size();
    }
    return header;
}
