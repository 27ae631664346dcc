// The particle atomic stream format: the atomic's header word and emitter records, the
// property-table and class chunks each record carries, and the standard emitter's blocks.
// Every count and length is checked against what the record's bytes still hold before
// anything is allocated or looped over.
#include "prtstd.h"

#include "clump.h"
#include "error.h"
#include "matrix.h"
#include "memory.h"
#include "prtstd_local.h"
#include "prtstdclass.h"
#include "prtstdemitter.h"
#include "prtstdproperty.h"
#include "stream.h"
#include "texture.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace
{
int32_t sReadVersion = 0;
bool sReading = false; // inside an atomic's read: a version of 0 is then the stream's own
int32_t sWriteVersion = PrtStd::kStreamVersion;

// Limits on what a stream may ask of memory: no class of this system comes near them.
constexpr int32_t kMaxStreamProperties = 256;
constexpr int32_t kMaxStreamPropertySize = 4096;
constexpr int32_t kMaxStreamBatchSize = 1 << 16;
constexpr int32_t kMaxStreamParticles = 1 << 20;
constexpr uint32_t kRecordHeaderBytes = 20;
constexpr int32_t kStandardV2StreamSize = 168;

// Bytes a stream still holds; UINT32_MAX when the stream cannot tell.
uint32_t Remaining(const Stream* stream)
{
    const uint64_t left = Stream::Remaining(stream);
    return left < UINT32_MAX ? uint32_t(left) : UINT32_MAX;
}

bool ReadU32(Stream* stream, uint32_t* words, uint32_t count)
{
    return Stream::ReadWords(stream, words, count * 4) != nullptr;
}

bool WriteU32(Stream* stream, const uint32_t* words, uint32_t count)
{
    return Stream::WriteWords(stream, words, count * 4) != nullptr;
}

uint32_t Bits(float f)
{
    return std::bit_cast<uint32_t>(f);
}

float Real(uint32_t w)
{
    return std::bit_cast<float>(w);
}

bool FindBody(Stream* stream, uint32_t* size)
{
    if (!Stream::FindChunk(stream, PrtStd::kChunkType, size, nullptr))
        return false;
    return *size <= Remaining(stream);
}

bool WriteChunk(Stream* stream, uint32_t type, uint32_t size)
{
    return Stream::WriteChunkHeader(stream, type, size, kLibraryVersion, kLibraryBuild) != nullptr;
}

int32_t StreamSizeForWrite(int32_t id, int32_t size)
{
    const int32_t s = PrtStdEmitterProperty::ToStreamSize(id, size);
    if (sWriteVersion < 3 && id == PrtStdEmitterProperty::kStandardId && s == PrtStdEmitterProperty::kStandardStreamSize)
        return kStandardV2StreamSize;
    return s;
}

int32_t EntryCount(PrtStdEmitterClass* c)
{
    return c ? c->numEntries : 0;
}

// The class of the record: the loaded class of the stored id when it uses the record's
// table, else a loaded class on that table, else a new one given the hook's callbacks.
// Stored ids are not unique across runs, so the table read with the record decides.
template <typename Class, typename Hook>
Class* BindClass(uint32_t storedId, PrtStdPropertyTable* table, Hook hook)
{
    Class* c = Class::FindById(storedId);
    if (!c || c->table != table)
        c = Class::FindByPropertyTable(table);
    if (c)
    {
        PrtStdParticleClass::AddRef(c);
        return c;
    }
    c = Class::Create();
    if (!c)
        return nullptr;
    PrtStdParticleClass::SetPropertyTable(c, table);
    if (hook)
        hook(c);
    return c;
}

// A class body read alone (outside an emitter record): its table by the stored table id.
template <typename Class, typename Hook> Class* ReadClassBody(Stream* stream, Hook hook)
{
    uint32_t words[2];
    if (!ReadU32(stream, words, 2))
        return nullptr;
    if (Class* c = Class::FindById(words[0]))
    {
        PrtStdParticleClass::AddRef(c);
        return c;
    }
    PrtStdPropertyTable* table = PrtStdPropertyTable::FindById(words[1]);
    if (!table)
        return nullptr;
    Class* c = Class::Create();
    if (!c)
        return nullptr;
    PrtStdParticleClass::SetPropertyTable(c, table);
    if (hook)
        hook(c);
    return c;
}

bool ReadClassChunk(Stream* stream, uint32_t words[2])
{
    uint32_t size = 0;
    if (!FindBody(stream, &size) || size != 8)
        return false;
    return ReadU32(stream, words, 2);
}

// Reads the sub-chunk through a memory stream of exactly its bytes, so no reader below
// can run past the record data whatever the counts inside say.
struct BoundedStream
{
    Stream* stream = nullptr;
    uint8_t* owned = nullptr;

    bool Open(Stream* outer, uint32_t length)
    {
        MemoryBlock block{};
        if (outer->kind == kStreamMemory)
        {
            if (length > Remaining(outer))
                return false;
            block = {outer->memory.buffer + outer->memory.position, length};
            outer->memory.position += length;
        }
        else
        {
            // Grows with what the stream really holds, so a damaged length cannot ask for
            // memory the data does not back.
            uint32_t have = 0;
            while (have < length)
            {
                const uint32_t piece = std::min<uint32_t>(length - have, 1u << 16);
                auto* grown = static_cast<uint8_t*>(owned ? Memory::Reallocate(owned, have + piece, PrtStd::kScratchHint)
                                                          : Memory::Allocate(have + piece, PrtStd::kScratchHint));
                if (!grown)
                    return false;
                owned = grown;
                if (Stream::Read(outer, owned + have, piece) != piece)
                    return false;
                have += piece;
            }
            block = {owned, length};
        }
        stream = Stream::Open(kStreamMemory, kStreamRead, &block);
        return stream != nullptr;
    }

    ~BoundedStream()
    {
        if (stream)
            Stream::Close(stream, nullptr);
        if (owned)
            Memory::Free(owned);
    }
};

void ReleaseRead(PrtStdPropertyTable* pt, PrtStdPropertyTable* et, PrtStdParticleClass* pc, PrtStdEmitterClass* ec)
{
    if (et)
        PrtStdPropertyTable::Destroy(et);
    if (pt)
        PrtStdPropertyTable::Destroy(pt);
    if (ec)
        PrtStdEmitterClass::Destroy(ec);
    if (pc)
        PrtStdParticleClass::Destroy(pc);
}
} // namespace

// ---- Module --------------------------------------------------------------------------------------

int32_t PrtStd::GetStreamVersion()
{
    return sReadVersion;
}

void PrtStd::SetWriteVersion(int32_t version)
{
    sWriteVersion = version;
}

int32_t PrtStd::GetWriteVersion()
{
    return sWriteVersion;
}

// ---- Property tables ------------------------------------------------------------------------------

int32_t PrtStdPropertyTable::StreamGetSize(const PrtStdPropertyTable* table)
{
    return table->count <= 0 ? 8 : 8 + 8 * table->count;
}

const PrtStdPropertyTable* PrtStdPropertyTable::StreamWrite(const PrtStdPropertyTable* table, Stream* stream)
{
    const uint32_t head[2] = {table->id, uint32_t(table->count)};
    if (!WriteU32(stream, head, 2))
        return nullptr;
    for (int32_t i = 0; i < table->count; ++i)
        if (!WriteU32(stream, reinterpret_cast<const uint32_t*>(&table->ids[i]), 1))
            return nullptr;
    for (int32_t i = 0; i < table->count; ++i)
    {
        const uint32_t size = uint32_t(StreamSizeForWrite(table->ids[i], table->sizes[i]));
        if (!WriteU32(stream, &size, 1))
            return nullptr;
    }
    return table;
}

PrtStdPropertyTable* PrtStdPropertyTable::StreamRead(Stream* stream, uint32_t bodySize)
{
    uint32_t head[2];
    if (bodySize < 8 || !ReadU32(stream, head, 2))
        return nullptr;
    int32_t n = int32_t(head[1]);
    if (n < 0)
        n = 0;
    if (n > kMaxStreamProperties || bodySize != 8 + 8 * uint32_t(n))
    {
        Error::Report(PrtStd::kPluginId, Error::MakeCode(kErrStreamRead));
        return nullptr;
    }
    auto* words = static_cast<int32_t*>(PrtStdScratch(kPrtStdScratchStream, size_t(8) * size_t(n)));
    if (n > 0 && (!words || !ReadU32(stream, reinterpret_cast<uint32_t*>(words), 2 * uint32_t(n))))
        return nullptr;
    int32_t* ids = words;
    int32_t* sizes = words ? words + n : nullptr;
    // Older streams stored the standard emitter 4 bytes short (no rotation rate); the rule
    // keys on a first property that is not the 16-byte standard particle.
    const bool shortStandard = sReading && sReadVersion < 3 && n > 0 && ((uint32_t(sizes[0]) + 3u) & ~3u) != 16u;
    for (int32_t i = 0; i < n; ++i)
    {
        if (sizes[i] < 0 || sizes[i] > kMaxStreamPropertySize)
        {
            Error::Report(PrtStd::kPluginId, Error::MakeCode(kErrStreamRead));
            return nullptr;
        }
        if (shortStandard && ids[i] == PrtStdEmitterProperty::kStandardId)
            sizes[i] += 4;
        sizes[i] = PrtStdEmitterProperty::FromStreamSize(ids[i], sizes[i]);
    }
    PrtStdPropertyTable* table = Create(n, ids, sizes);
    if (!table)
        return nullptr;
    table->id = head[0];
    if (PrtStdTableHook hook = PrtStd::GetTableLoadedHook())
        hook(table);
    return table;
}

// ---- Classes --------------------------------------------------------------------------------------

const PrtStdClassRecord* PrtStdClassStreamWrite(const PrtStdClassRecord* record, Stream* stream)
{
    const uint32_t words[2] = {record->id, record->table ? record->table->id : 0u};
    return WriteU32(stream, words, 2) ? record : nullptr;
}

PrtStdParticleClass* PrtStdParticleClass::StreamRead(Stream* stream)
{
    return ReadClassBody<PrtStdParticleClass>(stream, PrtStd::GetLoadedParticleClassHook());
}

PrtStdEmitterClass* PrtStdEmitterClass::StreamRead(Stream* stream)
{
    return ReadClassBody<PrtStdEmitterClass>(stream, PrtStd::GetLoadedEmitterClassHook());
}

// ---- Emitter records ------------------------------------------------------------------------------

PrtStdEmitter* PrtStdEmitter::StreamGetSize(Atomic* atomic, PrtStdEmitter* emitter, int32_t* size)
{
    *size += int32_t(kRecordHeaderBytes);
    if (PrtStd::GetWriteClasses())
    {
        *size += 4 * int32_t(kChunkHeaderSize) + 16;
        *size += emitter->particleClass && emitter->particleClass->table
                     ? PrtStdPropertyTable::StreamGetSize(emitter->particleClass->table)
                     : 8;
        *size += PrtStdPropertyTable::StreamGetSize(emitter->emitterClass->table);
    }
    PrtStdEmitterClass* c = emitter->emitterClass;
    PrtStdEmitterCallbacks* entries = PrtStdEmitterClass::Entries(c);
    for (int32_t i = 0; i < EntryCount(c); ++i)
        if (PrtStdEmitterCallback f = entries[i].slot[kPrtStdEmitterStreamSize])
            if (f(atomic, emitter, size) != emitter)
                return nullptr;
    return emitter;
}

PrtStdEmitter* PrtStdEmitter::StreamWrite(Atomic* atomic, PrtStdEmitter* emitter, Stream* stream)
{
    PrtStdEmitterClass* ec = emitter->emitterClass;
    PrtStdParticleClass* pc = emitter->particleClass;
    const int32_t classes = PrtStd::GetWriteClasses() ? 1 : 0;
    const uint32_t head[5] = {ec->id, emitter->flags & ~kPrtStdEmitterFlagFromStream, pc ? pc->id : 0u,
                              uint32_t(emitter->batchSize), uint32_t(classes)};
    if (!WriteU32(stream, head, 5))
        return nullptr;
    if (classes)
    {
        PrtStdPropertyTable empty{};
        const PrtStdPropertyTable* pt = pc && pc->table ? pc->table : &empty;
        const PrtStdPropertyTable* et = ec->table ? ec->table : &empty;
        PrtStdClassRecord none{};
        if (!WriteChunk(stream, PrtStd::kChunkType, uint32_t(PrtStdPropertyTable::StreamGetSize(pt))) ||
            !PrtStdPropertyTable::StreamWrite(pt, stream) ||
            !WriteChunk(stream, PrtStd::kChunkType, uint32_t(PrtStdPropertyTable::StreamGetSize(et))) ||
            !PrtStdPropertyTable::StreamWrite(et, stream) || !WriteChunk(stream, PrtStd::kChunkType, 8) ||
            !PrtStdClassStreamWrite(pc ? static_cast<PrtStdClassRecord*>(pc) : &none, stream) ||
            !WriteChunk(stream, PrtStd::kChunkType, 8) || !PrtStdClassStreamWrite(ec, stream))
            return nullptr;
    }
    PrtStdEmitterCallbacks* entries = PrtStdEmitterClass::Entries(ec);
    for (int32_t i = 0; i < EntryCount(ec); ++i)
        if (PrtStdEmitterCallback f = entries[i].slot[kPrtStdEmitterStreamWrite])
            if (f(atomic, emitter, stream) != emitter)
                return nullptr;
    return emitter;
}

PrtStdEmitter* PrtStdEmitter::StreamRead(Stream* stream, Atomic* atomic)
{
    uint32_t head[5];
    if (!ReadU32(stream, head, 5))
        return nullptr;
    const int32_t batchSize = int32_t(head[3]);
    if (batchSize < 0 || batchSize > kMaxStreamBatchSize || head[4] > 1)
    {
        Error::Report(PrtStd::kPluginId, Error::MakeCode(kErrStreamRead));
        return nullptr;
    }
    PrtStdPropertyTable* pt = nullptr;
    PrtStdPropertyTable* et = nullptr;
    PrtStdParticleClass* pc = nullptr;
    PrtStdEmitterClass* ec = nullptr;
    if (head[4] == 1)
    {
        uint32_t size = 0;
        uint32_t pcWords[2], ecWords[2];
        bool ok = FindBody(stream, &size) && (pt = PrtStdPropertyTable::StreamRead(stream, size)) &&
                  FindBody(stream, &size) && (et = PrtStdPropertyTable::StreamRead(stream, size)) &&
                  ReadClassChunk(stream, pcWords) && ReadClassChunk(stream, ecWords);
        if (ok)
        {
            pc = BindClass<PrtStdParticleClass>(pcWords[0], pt, PrtStd::GetLoadedParticleClassHook());
            ec = BindClass<PrtStdEmitterClass>(ecWords[0], et, PrtStd::GetLoadedEmitterClassHook());
            ok = pc && ec;
        }
        if (!ok)
        {
            ReleaseRead(pt, et, pc, ec);
            return nullptr;
        }
    }
    else
    {
        ec = PrtStdEmitterClass::FindById(head[0]);
        pc = PrtStdParticleClass::FindById(head[2]);
        if (!ec || !pc)
            return nullptr;
        PrtStdParticleClass::AddRef(ec);
        PrtStdParticleClass::AddRef(pc);
    }

    PrtStdEmitter* e = Create(ec, nullptr);
    bool ok = e != nullptr;
    if (ok)
    {
        e->flags = head[1] | kPrtStdEmitterFlagFromStream;
        SetParticleClass(e, pc, batchSize);
        PrtStdEmitterCallbacks* entries = PrtStdEmitterClass::Entries(ec);
        for (int32_t i = 0; ok && i < EntryCount(ec); ++i)
            if (PrtStdEmitterCallback f = entries[i].slot[kPrtStdEmitterStreamRead])
                ok = f(atomic, e, stream) == e;
        if (!ok)
            Destroy(e);
    }
    if (ok)
        PrtStdAtomic::AddEmitter(atomic, e);
    ReleaseRead(pt, et, pc, ec);
    return ok ? e : nullptr;
}

// ---- Atomics --------------------------------------------------------------------------------------

int32_t PrtStdAtomic::StreamGetSize(const void* object, int32_t, int32_t)
{
    auto* atomic = static_cast<Atomic*>(const_cast<void*>(object));
    PrtStdEmitter* last = GetEmitters(atomic);
    if (!last)
        return 0;
    int32_t size = 4;
    PrtStdEmitter* e = last;
    do
    {
        e = e->next;
        if (!PrtStdEmitter::StreamGetSize(atomic, e, &size))
            return 0;
    } while (e != last);
    return size;
}

Stream* PrtStdAtomic::StreamWrite(Stream* stream, int32_t, const void* object, int32_t, int32_t)
{
    auto* atomic = static_cast<Atomic*>(const_cast<void*>(object));
    PrtStdEmitter* last = GetEmitters(atomic);
    if (!last)
        return stream;
    uint32_t count = 0;
    PrtStdEmitter* e = last;
    do
    {
        e = e->next;
        ++count;
    } while (e != last);
    const uint32_t word = (count & 0xFFFFFF) | uint32_t(sWriteVersion) << 24;
    if (!WriteU32(stream, &word, 1))
        return nullptr;
    e = last;
    do
    {
        e = e->next;
        if (!PrtStdEmitter::StreamWrite(atomic, e, stream))
            return nullptr;
    } while (e != last);
    return stream;
}

Stream* PrtStdAtomic::StreamRead(Stream* stream, int32_t length, void* object, int32_t, int32_t)
{
    auto* atomic = static_cast<Atomic*>(object);
    BoundedStream bounded;
    uint32_t word = 0;
    if (length < 4 || !bounded.Open(stream, uint32_t(length)) || !ReadU32(bounded.stream, &word, 1))
        return nullptr;
    const int32_t version = int32_t(word >> 24);
    const uint32_t count = word & 0xFFFFFF;
    if (version > PrtStd::kStreamVersion || count > Remaining(bounded.stream) / kRecordHeaderBytes)
    {
        Error::Report(PrtStd::kPluginId, Error::MakeCode(kErrStreamRead));
        return nullptr;
    }
    sReadVersion = version;
    sReading = true;
    bool ok = true;
    // A damaged record would misalign every record after it: the first one ends the read.
    for (uint32_t i = 0; ok && i < count; ++i)
        ok = PrtStdEmitter::StreamRead(bounded.stream, atomic) != nullptr;
    sReadVersion = 0;
    sReading = false;
    if (count != 0 && ok)
        atomic->renderCallback = Render;
    return ok ? stream : nullptr;
}

// ---- The standard emitter's blocks ----------------------------------------------------------------

namespace
{
constexpr uint32_t kStandardWords = 39; // the 156 bytes without the texture flag's chunk

struct EmitterBlocks
{
    PrtStdEmitterStd* standard;
    float* colour;    // 16 reals
    float* texCoords; // 16 reals
    char* matrix;     // rotation matrix, 12 reals, enable
    float* size;      // 8 reals
    float* rotation;  // 4 reals
    PrtStdTankBlock* tank;
};

EmitterBlocks Blocks(PrtStdEmitter* e)
{
    return {PrtStdEmitter::GetStandard(e),
            static_cast<float*>(PrtStdEmitter::GetProperty(e, PrtStdEmitterProperty::kColourId)),
            static_cast<float*>(PrtStdEmitter::GetProperty(e, PrtStdEmitterProperty::kTexCoordsId)),
            static_cast<char*>(PrtStdEmitter::GetProperty(e, PrtStdEmitterProperty::kMatrixId)),
            static_cast<float*>(PrtStdEmitter::GetProperty(e, PrtStdEmitterProperty::kSizeId)),
            static_cast<float*>(PrtStdEmitter::GetProperty(e, PrtStdEmitterProperty::kRotationId)),
            PrtStdEmitter::GetTankBlock(e)};
}

bool WriteReals(Stream* stream, const float* reals, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i)
    {
        const uint32_t w = Bits(reals[i]);
        if (!WriteU32(stream, &w, 1))
            return false;
    }
    return true;
}

bool ReadReals(Stream* stream, float* reals, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i)
    {
        uint32_t w;
        if (!ReadU32(stream, &w, 1))
            return false;
        reals[i] = Real(w);
    }
    return true;
}

void PackStandard(const PrtStdEmitterStd* s, uint32_t w[kStandardWords - 2])
{
    uint32_t* p = w;
    *p++ = s->random;
    *p++ = uint32_t(s->maxParticles);
    const Vector* vectors[3] = {&s->force, &s->emitPosition, &s->emitBox};
    for (const Vector* v : vectors)
    {
        *p++ = Bits(v->x);
        *p++ = Bits(v->y);
        *p++ = Bits(v->z);
    }
    *p++ = Bits(s->gap);
    *p++ = Bits(s->gapBias);
    *p++ = uint32_t(s->emitCount);
    *p++ = uint32_t(s->emitCountBias);
    *p++ = Bits(s->speed);
    *p++ = Bits(s->speedBias);
    *p++ = Bits(s->life);
    *p++ = Bits(s->lifeBias);
    const Vector* dirs[2] = {&s->direction, &s->directionBias};
    for (const Vector* v : dirs)
    {
        *p++ = Bits(v->x);
        *p++ = Bits(v->y);
        *p++ = Bits(v->z);
    }
    *p++ = Bits(s->size.x);
    *p++ = Bits(s->size.y);
    const Rgba c = s->colour;
    *p++ = uint32_t(c.red) | uint32_t(c.green) << 8 | uint32_t(c.blue) << 16 | uint32_t(c.alpha) << 24;
    *p++ = uint32_t(c.red) << 24 | uint32_t(c.green) << 16 | uint32_t(c.blue) << 8 | uint32_t(c.alpha);
    for (int32_t i = 0; i < 4; ++i)
    {
        *p++ = Bits(s->texCoords[i].x);
        *p++ = Bits(s->texCoords[i].y);
    }
}

void UnpackStandard(PrtStdEmitterStd* s, const uint32_t w[kStandardWords - 2])
{
    const uint32_t* p = w;
    s->random = *p++;
    s->maxParticles = int32_t(*p++);
    Vector* vectors[3] = {&s->force, &s->emitPosition, &s->emitBox};
    for (Vector* v : vectors)
    {
        v->x = Real(*p++);
        v->y = Real(*p++);
        v->z = Real(*p++);
    }
    s->gap = Real(*p++);
    s->gapBias = Real(*p++);
    s->emitCount = int32_t(*p++);
    s->emitCountBias = int32_t(*p++);
    s->speed = Real(*p++);
    s->speedBias = Real(*p++);
    s->life = Real(*p++);
    s->lifeBias = Real(*p++);
    Vector* dirs[2] = {&s->direction, &s->directionBias};
    for (Vector* v : dirs)
    {
        v->x = Real(*p++);
        v->y = Real(*p++);
        v->z = Real(*p++);
    }
    s->size.x = Real(*p++);
    s->size.y = Real(*p++);
    ++p; // the colour's copy in memory order; the packed word below decides
    const uint32_t packed = *p++;
    s->colour = {uint8_t(packed >> 24), uint8_t(packed >> 16), uint8_t(packed >> 8), uint8_t(packed)};
    for (int32_t i = 0; i < 4; ++i)
    {
        s->texCoords[i].x = Real(*p++);
        s->texCoords[i].y = Real(*p++);
    }
}
} // namespace

PrtStdEmitter* PrtStdEmitterStd::StreamGetSize(Atomic*, PrtStdEmitter* emitter, void* data)
{
    auto* size = static_cast<int32_t*>(data);
    const EmitterBlocks b = Blocks(emitter);
    if (b.standard)
    {
        *size += int32_t(kStandardWords * 4) - (sWriteVersion < 3 ? 4 : 0);
        if (b.standard->texture)
            *size += int32_t(kChunkHeaderSize) + Texture::StreamGetSize(b.standard->texture);
    }
    *size += (b.colour ? 64 : 0) + (b.texCoords ? 64 : 0) + (b.matrix ? 128 : 0) + (b.size ? 32 : 0) +
             (b.rotation ? 16 : 0) + (b.tank ? 20 : 0);
    return emitter;
}

PrtStdEmitter* PrtStdEmitterStd::StreamWrite(Atomic*, PrtStdEmitter* emitter, void* data)
{
    auto* stream = static_cast<Stream*>(data);
    const EmitterBlocks b = Blocks(emitter);
    if (b.standard)
    {
        uint32_t w[kStandardWords - 2];
        PackStandard(b.standard, w);
        const uint32_t hasTexture = b.standard->texture ? 1 : 0;
        if (!WriteU32(stream, w, kStandardWords - 2) || !WriteU32(stream, &hasTexture, 1))
            return nullptr;
        if (hasTexture && !Texture::StreamWrite(b.standard->texture, stream))
            return nullptr;
        if (sWriteVersion >= 3 && !WriteReals(stream, &b.standard->rotationRate, 1))
            return nullptr;
    }
    if ((b.colour && !WriteReals(stream, b.colour, 16)) || (b.texCoords && !WriteReals(stream, b.texCoords, 16)))
        return nullptr;
    if (b.matrix)
    {
        const uint32_t enable = *reinterpret_cast<const uint32_t*>(b.matrix + sizeof(Matrix) + 48);
        if (!Matrix::StreamWrite(reinterpret_cast<const Matrix*>(b.matrix), stream) ||
            !WriteReals(stream, reinterpret_cast<const float*>(b.matrix + sizeof(Matrix)), 12) ||
            !WriteU32(stream, &enable, 1))
            return nullptr;
    }
    if ((b.size && !WriteReals(stream, b.size, 8)) || (b.rotation && !WriteReals(stream, b.rotation, 4)))
        return nullptr;
    if (b.tank)
    {
        const uint32_t w[5] = {b.tank->updateMask, b.tank->emitMask, uint32_t(b.tank->sourceBlend),
                               uint32_t(b.tank->destBlend), uint32_t(b.tank->vertexAlpha)};
        if (!WriteU32(stream, w, 5))
            return nullptr;
    }
    return emitter;
}

PrtStdEmitter* PrtStdEmitterStd::StreamRead(Atomic*, PrtStdEmitter* emitter, void* data)
{
    auto* stream = static_cast<Stream*>(data);
    const EmitterBlocks b = Blocks(emitter);
    if (b.standard)
    {
        uint32_t w[kStandardWords - 2];
        uint32_t hasTexture = 0;
        if (!ReadU32(stream, w, kStandardWords - 2) || !ReadU32(stream, &hasTexture, 1))
            return nullptr;
        UnpackStandard(b.standard, w);
        if (b.standard->maxParticles < 0 || b.standard->maxParticles > kMaxStreamParticles)
        {
            Error::Report(PrtStd::kPluginId, Error::MakeCode(kErrStreamRead));
            return nullptr;
        }
        if (int32_t(hasTexture) > 0)
        {
            uint32_t size = 0;
            if (!Stream::FindChunk(stream, kChunkTexture, &size, nullptr) || size > Remaining(stream))
                return nullptr;
            const uint32_t end = stream->kind == kStreamMemory ? stream->memory.position + size : 0;
            // A texture that cannot be found reads as none; the chunk is passed over whole.
            b.standard->texture = Texture::StreamRead(stream);
            if (stream->kind == kStreamMemory)
                stream->memory.position = end;
        }
        if ((!sReading || sReadVersion > 2) && !ReadReals(stream, &b.standard->rotationRate, 1))
            return nullptr;
    }
    if ((b.colour && !ReadReals(stream, b.colour, 16)) || (b.texCoords && !ReadReals(stream, b.texCoords, 16)))
        return nullptr;
    if (b.matrix)
    {
        uint32_t enable = 0;
        if (!Stream::FindChunk(stream, kChunkMatrix, nullptr, nullptr) ||
            !Matrix::StreamRead(stream, reinterpret_cast<Matrix*>(b.matrix)) ||
            !ReadReals(stream, reinterpret_cast<float*>(b.matrix + sizeof(Matrix)), 12) ||
            !ReadU32(stream, &enable, 1))
            return nullptr;
        std::memcpy(b.matrix + sizeof(Matrix) + 48, &enable, 4);
    }
    if ((b.size && !ReadReals(stream, b.size, 8)) || (b.rotation && !ReadReals(stream, b.rotation, 4)))
        return nullptr;
    if (b.tank)
    {
        uint32_t w[5];
        if (!ReadU32(stream, w, 5))
            return nullptr;
        b.tank->updateMask = w[0];
        b.tank->emitMask = w[1];
        b.tank->sourceBlend = int32_t(w[2]);
        b.tank->destBlend = int32_t(w[3]);
        b.tank->vertexAlpha = int32_t(w[4]);
    }
    return emitter;
}
