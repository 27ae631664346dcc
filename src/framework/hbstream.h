// Streams over framework files: HbFileStream (a byte store over an HbFile),
// HbResourceStream (the chunk stream a resource's Load reads, with an engine
// stream over the same file) and the transfers of engine vectors and matrices.
#pragma once

#include "hbchunkstream.h"
#include "hbfile.h"

#include <cstdint>

struct Matrix;
struct Stream;
struct Vector;

// ---- File stream ---------------------------------------------------------------------------

/// A byte store over a file opened through the file layer (so from a mounted
/// pack archive when one holds it).
class HbFileStream : public HbStreamBuf
{
public:
    HbFileStream() = default;
    /// Closes the file.
    ~HbFileStream() override;

    /// Closes a file still held, then HbFileOpen; 1 or 0.
    virtual int Open(const char* path, const char* mode);
    /// HbFileClose's result is 0 on success: 1 then, else 0; 0 when nothing
    /// was open. Forgets the file.
    int Close() override;
    size_t Read(void* destination, size_t count) override;
    size_t Write(const void* source, size_t count) override;
    /// The file layer's own origins (2 is the end plus offset).
    int Seek(int64_t offset, int origin) override;
    int64_t Tell() override;
    /// Measured by seeking to the end and back; -1 when that fails.
    int64_t Size() override;
    /// The end-of-data bit follows HbFileEof; an error clears the usable and
    /// checksum bits, otherwise the usable bit is set.
    void UpdateState(uint32_t& state) override;
    int Flush();

    HbFile* GetFile() const { return mFile; }

protected:
    HbFile* mFile = nullptr;
};

// ---- Resource stream ---------------------------------------------------------------------------

/// The stream a resource's HbRoot::Load receives: framework chunks and typed
/// values through the file, and an engine stream over the same HbFile for the
/// engine's own chunks. The engine stream reads and writes the HbFile directly
/// and never buffers, so both see one file position. Opening needs a started
/// engine (engine streams come from its stream module).
class HbResourceStream : public HbMChunkStream
{
public:
    HbResourceStream();
    /// Closes the engine stream and the file.
    ~HbResourceStream() override;

    /// Opens the file, then an engine stream on it whose access follows the
    /// mode ('r' read, else 'w' write, else 'a' append); the file's user word
    /// becomes this stream. 1 when both opened; otherwise nothing stays open.
    int Open(const char* path, const char* mode);

    HbFile* GetFile() const;
    /// The engine stream while open, else null.
    Stream* GetEngineStream() const;

    /// The stream as a resource stream, or null for another kind (what a
    /// resource's Load does with the HbStream it is given).
    static HbResourceStream* From(HbStream* stream);

    // The 1- and 4-byte values go through the engine stream, Int64 straight
    // to the file; the other 8-byte and the 2-byte values are not carried
    // (they answer 0 and move nothing).
    int ReadBool(bool& value) override;
    int ReadInt64(int64_t& value) override;
    int ReadInt32(int32_t& value) override;
    int ReadUInt64(uint64_t& value) override;
    int ReadDouble(double& value) override;
    int ReadUInt32(uint32_t& value) override;
    int ReadReal(float& value) override;
    int ReadInt16(int16_t& value) override;
    int ReadUInt16(uint16_t& value) override;
    int ReadInt8(int8_t& value) override;
    int ReadUInt8(uint8_t& value) override;

    int WriteBool(bool value) override;
    int WriteInt64(int64_t value) override;
    int WriteInt32(int32_t value) override;
    int WriteUInt64(uint64_t value) override;
    int WriteDouble(double value) override;
    int WriteUInt32(uint32_t value) override;
    int WriteReal(float value) override;
    int WriteInt16(int16_t value) override;
    int WriteUInt16(uint16_t value) override;
    int WriteInt8(int8_t value) override;
    int WriteUInt8(uint8_t value) override;

private:
    int EngineRead(void* bytes, uint32_t count, bool words);
    int EngineWrite(const void* bytes, uint32_t count, bool words);
};

// ---- Vectors and matrices --------------------------------------------------------------------
// Each value is one 32-bit transfer; 1 when every value moved, else 0 with the
// destination untouched.

int HbWriteVector3(HbStream* stream, const Vector& v);
int HbReadVector3(HbStream* stream, Vector& v);
/// Four reals in order (colours as red, green, blue, alpha).
int HbWriteVector4(HbStream* stream, const float* v);
int HbReadVector4(HbStream* stream, float* v);
/// The twelve reals right, up, at, position (x, y, z each); the type flags are
/// not stored.
int HbWriteMatrix(HbStream* stream, const Matrix& m);
/// Reading clears the matrix's type flags (Matrix::Update).
int HbReadMatrix(HbStream* stream, Matrix& m);
