// Tests of the stream forms of matrices, cameras and frame lists (camera and frame-list
// fixtures come from the project's writers), and a sweep of damaged texture, camera and
// frame-list chunks that must be refused or read, never crash.
#include "camera.h"
#include "camerawriter.h"
#include "error.h"
#include "frame.h"
#include "framelist.h"
#include "framelistwriter.h"
#include "matrix.h"
#include "streamfixture.h"
#include "texture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace
{

int32_t TakeError()
{
    Error e;
    Error::Get(&e);
    return e.code;
}

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    std::memcpy(bytes.data() + at, &value, 4);
}

class StreamFormats : public EngineFixture
{
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        StartEngine();
    }

    /// A memory stream over bytes, standing inside the chunk of the type (the caller closes).
    static Stream* Inside(std::vector<uint8_t>& bytes, uint32_t type)
    {
        Stream* stream = OpenReader(bytes);
        EXPECT_TRUE(Stream::FindChunk(stream, type, nullptr, nullptr));
        return stream;
    }

    template <typename WriteFn> static std::vector<uint8_t> Written(WriteFn write)
    {
        Stream* stream = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
        EXPECT_TRUE(write(stream));
        return CloseWriter(stream);
    }

    /// Three frames: a root at (1, 2, 3), a child rotated 90 degrees about z, and a scaled one.
    static FrameList MakeHierarchy()
    {
        Frame* root = Frame::Create();
        Frame* rotated = Frame::Create();
        Frame* scaled = Frame::Create();
        Vector position = {1, 2, 3}, axis = {0, 0, 1}, scale = {2, 2, 2};
        Frame::Translate(root, &position, kCombineReplace);
        Frame::Rotate(rotated, &axis, 90.0f, kCombineReplace);
        Frame::Scale(scaled, &scale, kCombineReplace);
        Frame::AddChild(root, scaled);
        Frame::AddChild(root, rotated);
        FrameList list{};
        EXPECT_NE(FrameListWriter::Collect(root, &list), nullptr);
        return list;
    }

    static void DestroyList(FrameList& list)
    {
        if (list.numFrames)
            Frame::DestroyHierarchy(list.frames[0]);
        FrameList::Deinit(&list);
    }
};

// ---- Matrices ---------------------------------------------------------------------------

TEST_F(StreamFormats, MatricesRoundTripAndStoreOnlyTheOrthonormalFlags)
{
    Matrix identity = {{1, 0, 0}, 0x20003, {0, 1, 0}, 0, {0, 0, 1}, 0, {0, 0, 0}, 0};
    std::vector<uint8_t> bytes = Written([&](Stream* s) { return Matrix::StreamWrite(&identity, s); });
    ASSERT_EQ(bytes.size(), 76u);
    EXPECT_EQ(bytes[72], 3) << "the identity flag is not stored";

    Matrix general = {{1, 2, 3}, 0, {4, 5, 6}, 0, {7, 8, 9.5f}, 0, {-1, -2, -3}, 0};
    bytes = Written([&](Stream* s) { return Matrix::StreamWrite(&general, s); });
    Stream* stream = Inside(bytes, kChunkMatrix);
    Matrix* read = Matrix::StreamRead(stream, nullptr);
    Stream::Close(stream, nullptr);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->flags, 0u);
    EXPECT_EQ(std::memcmp(&read->at, &general.at, 12), 0);
    EXPECT_EQ(std::memcmp(&read->pos, &general.pos, 12), 0);
    EXPECT_EQ(Written([&](Stream* s) { return Matrix::StreamWrite(read, s); }), bytes);
    Matrix::Destroy(read);
}

TEST_F(StreamFormats, MatrixBodiesOfTheWrongSizeAreRefused)
{
    for (uint32_t size : {48u, 56u, 0u})
    {
        ChunkBuilder chunk;
        chunk.Header(kChunkMatrix, 12 + size).Header(kChunkStruct, size);
        for (uint32_t i = 0; i < size / 4; ++i)
            chunk.U32(0x3F800000);
        Matrix target = {};
        Stream* stream = Inside(chunk.bytes, kChunkMatrix);
        TakeError();
        EXPECT_EQ(Matrix::StreamRead(stream, &target), nullptr) << size;
        EXPECT_EQ(TakeError(), int32_t(0x8000001Au)) << size;
        EXPECT_EQ(target.pos.x, 0.0f) << "the caller's matrix is untouched";
        Stream::Close(stream, nullptr);
    }
    ChunkBuilder old;
    old.Header(kChunkMatrix, 64).Header(kChunkStruct, 52, 0x33000);
    Stream* stream = Inside(old.bytes, kChunkMatrix);
    EXPECT_EQ(Matrix::StreamRead(stream, nullptr), nullptr);
    EXPECT_EQ(TakeError(), int32_t(0x80000004u));
    Stream::Close(stream, nullptr);
}

// ---- Cameras ----------------------------------------------------------------------------

TEST_F(StreamFormats, CamerasComeBackWithTheirSettings)
{
    Camera* camera = Camera::Create();
    Vector2 window = {0.75f, 0.5f}, offset = {0.1f, -0.2f};
    Camera::SetViewWindow(camera, &window);
    Camera::SetViewOffset(camera, &offset);
    Camera::SetNearClipPlane(camera, 0.5f);
    Camera::SetFarClipPlane(camera, 300.0f);
    camera->fogPlane = 120.0f;
    Camera::SetProjection(camera, kCameraParallel);
    std::vector<uint8_t> bytes = Written([&](Stream* s) { return CameraWriter::Write(camera, s); });
    ASSERT_EQ(bytes.size(), 12u + CameraWriter::GetSize(camera));
    Camera::Destroy(camera);

    Stream* stream = Inside(bytes, kChunkCamera);
    Camera* read = Camera::StreamRead(stream);
    EXPECT_EQ(stream->memory.position, bytes.size());
    Stream::Close(stream, nullptr);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->viewWindow.x, 0.75f);
    EXPECT_EQ(read->recipViewWindow.y, 2.0f);
    EXPECT_EQ(read->viewOffset.y, -0.2f);
    EXPECT_EQ(read->nearPlane, 0.5f);
    EXPECT_EQ(read->farPlane, 300.0f);
    EXPECT_EQ(read->fogPlane, 120.0f);
    EXPECT_EQ(read->projection, kCameraParallel);
    Camera::Destroy(read);

    // An invalid projection keeps the default and is reported; the camera still reads.
    Put32(bytes, 12 + 12 + 28, 7);
    stream = Inside(bytes, kChunkCamera);
    TakeError();
    read = Camera::StreamRead(stream);
    Stream::Close(stream, nullptr);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->projection, kCameraPerspective);
    EXPECT_EQ(TakeError(), int32_t(0x80000003u));
    Camera::Destroy(read);
}

// ---- Frame lists --------------------------------------------------------------------------

TEST_F(StreamFormats, FrameListsRebuildTheHierarchyAndClassifyRows)
{
    FrameList source = MakeHierarchy();
    ASSERT_EQ(source.numFrames, 3);
    std::vector<uint8_t> bytes = Written([&](Stream* s) { return FrameListWriter::Write(&source, s); });
    ASSERT_EQ(bytes.size(), 12u + FrameListWriter::GetSize(&source));
    DestroyList(source);

    // Parent indices -1, 0, 0; the reserved word is written 0.
    for (size_t i = 0; i < 3; ++i)
    {
        int32_t parent;
        std::memcpy(&parent, bytes.data() + 28 + 56 * i + 48, 4);
        EXPECT_EQ(parent, i == 0 ? -1 : 0);
        EXPECT_EQ(bytes[28 + 56 * i + 52], 0);
    }
    // The reader ignores the reserved word, whatever it holds.
    for (uint32_t reserved : {0u, 0xFFFFFFFFu})
    {
        for (size_t i = 0; i < 3; ++i)
            Put32(bytes, 28 + 56 * i + 52, reserved);
        Stream* stream = Inside(bytes, kChunkFrameList);
        FrameList list{};
        ASSERT_EQ(FrameList::StreamRead(stream, &list), &list);
        EXPECT_EQ(stream->memory.position, bytes.size());
        Stream::Close(stream, nullptr);
        ASSERT_EQ(list.numFrames, 3);
        Frame* root = list.frames[0];
        EXPECT_EQ(root->parent, nullptr);
        EXPECT_EQ(Frame::CountHierarchy(root), 3);
        EXPECT_EQ(list.frames[1]->parent, root);
        EXPECT_EQ(list.frames[2]->parent, root);
        EXPECT_EQ(root->modelling.flags, 3u);
        EXPECT_EQ(root->modelling.pos.z, 3.0f);
        EXPECT_EQ(list.frames[1]->modelling.flags, 3u) << "a rotation";
        EXPECT_EQ(list.frames[2]->modelling.flags, 0u) << "scaled";
        EXPECT_NE(Frame::IsDirty(root), 0) << "marked for update";
        DestroyList(list);
    }
}

TEST_F(StreamFormats, MalformedFrameListsAreRefusedWithNothingLeft)
{
    FrameList source = MakeHierarchy();
    std::vector<uint8_t> good = Written([&](Stream* s) { return FrameListWriter::Write(&source, s); });
    DestroyList(source);
    struct Case
    {
        const char* what;
        size_t at;
        uint32_t value;
    } cases[] = {
        {"negative count", 24, 0xFFFFFFFF},
        {"count past the body", 24, 4},
        {"huge count", 24, 0x10000000},
        {"parent of its own index", 28 + 56 + 48, 1},
        {"parent later in the list", 28 + 48, 2},
        {"parent below -1", 28 + 56 * 2 + 48, 0xFFFFFFFE},
        {"struct size off by one", 16, 4 + 56 * 3 + 1},
    };
    for (const Case& c : cases)
    {
        std::vector<uint8_t> bytes = good;
        Put32(bytes, c.at, c.value);
        Stream* stream = Inside(bytes, kChunkFrameList);
        FrameList list{};
        EXPECT_EQ(FrameList::StreamRead(stream, &list), nullptr) << c.what;
        EXPECT_EQ(list.frames, nullptr) << c.what;
        Stream::Close(stream, nullptr);
    }
    // A count that the header's size agrees with but the bytes do not back allocates
    // only for the records that arrive.
    std::vector<uint8_t> unbacked = good;
    Put32(unbacked, 16, 4 + 56 * 0x1000000);
    Put32(unbacked, 24, 0x1000000);
    size_t largest = 0;
    TestMemory::refuse = [&](size_t size, uint32_t)
    {
        largest = std::max(largest, size);
        return false;
    };
    Stream* unbackedStream = Inside(unbacked, kChunkFrameList);
    FrameList unbackedList{};
    EXPECT_EQ(FrameList::StreamRead(unbackedStream, &unbackedList), nullptr);
    Stream::Close(unbackedStream, nullptr);
    TestMemory::refuse = nullptr;
    EXPECT_LT(largest, 64u * 1024) << "no allocation sized by the count (128 MB)";

    // A cut extension chunk fails after every frame was made: all of them go again.
    std::vector<uint8_t> cut(good.begin(), good.end() - 12);
    Stream* stream = Inside(cut, kChunkFrameList);
    FrameList list{};
    EXPECT_EQ(FrameList::StreamRead(stream, &list), nullptr);
    Stream::Close(stream, nullptr);
    // The fixture's tear-down finds any frame or array left behind.
}

// ---- Damaged chunks --------------------------------------------------------------------------

// Damaged copies of each chunk, read from memory: every read succeeds or fails, never
// reads or writes out of bounds (the sanitizer build checks), and leaves nothing behind.
TEST_F(StreamFormats, MutatedChunksAreRefusedOrRead)
{
    Texture* texture = Texture::Create(nullptr);
    Texture::SetName(texture, "cobble");
    TextureDictionary::AddTexture(TextureDictionary::GetCurrent(), texture);
    Camera* camera = Camera::Create();
    FrameList hierarchy = MakeHierarchy();
    struct Subject
    {
        uint32_t type;
        std::vector<uint8_t> bytes;
    } subjects[] = {
        {kChunkTexture, Written([&](Stream* s) { return Texture::StreamWrite(texture, s); })},
        {kChunkCamera, Written([&](Stream* s) { return CameraWriter::Write(camera, s); })},
        {kChunkFrameList, Written([&](Stream* s) { return FrameListWriter::Write(&hierarchy, s); })},
    };
    Camera::Destroy(camera);
    DestroyList(hierarchy);

    const uint32_t hostile[] = {0, 1, 3, 4, 12, 55, 56, 57, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFF4};
    std::mt19937 rng(143);
    int read = 0, refused = 0;
    for (Subject& subject : subjects)
    {
        for (int round = 0; round < 1500; ++round)
        {
            std::vector<uint8_t> bytes = subject.bytes;
            switch (round % 3)
            {
            case 0:
                bytes.resize(12 + rng() % (bytes.size() - 12));
                break;
            case 1:
                for (uint32_t n = 1 + rng() % 4; n > 0; --n)
                    bytes[12 + rng() % (bytes.size() - 12)] = uint8_t(rng());
                break;
            default:
                Put32(bytes, (3 + rng() % (bytes.size() / 4 - 3)) * 4, hostile[rng() % std::size(hostile)]);
                break;
            }
            Stream* stream = Inside(bytes, subject.type);
            bool ok = false;
            if (subject.type == kChunkTexture)
            {
                if (Texture* t = Texture::StreamRead(stream))
                {
                    ok = true;
                    ASSERT_NE(std::memchr(t->name, 0, sizeof t->name), nullptr);
                    Texture::Destroy(t);
                }
            }
            else if (subject.type == kChunkCamera)
            {
                if (Camera* c = Camera::StreamRead(stream))
                {
                    ok = true;
                    Camera::Destroy(c);
                }
            }
            else
            {
                FrameList list{};
                if (FrameList::StreamRead(stream, &list))
                {
                    ok = true;
                    ASSERT_LE(size_t(list.numFrames) * 56, bytes.size());
                    std::vector<Frame*> roots;
                    for (int32_t i = 0; i < list.numFrames; ++i)
                        if (!list.frames[i]->parent)
                            roots.push_back(list.frames[i]);
                    for (Frame* root : roots)
                        Frame::DestroyHierarchy(root);
                    FrameList::Deinit(&list);
                }
            }
            Stream::Close(stream, nullptr);
            (ok ? read : refused) += 1;
        }
    }
    TakeError();
    EXPECT_GT(read, 0);
    EXPECT_GT(refused, 0);
    EXPECT_EQ(texture->refCount, 1) << "every reference a read handed out was given back";
}

} // namespace
