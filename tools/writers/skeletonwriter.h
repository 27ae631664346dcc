// Writes skeleton files ("SKL"): the bone chunk and the profile chunk over the framework's
// chunk-stream writer, and a byte store over a vector to write them into.
#pragma once

#include "hbchunkstream.h"

#include <cstdint>
#include <string>
#include <vector>

/// A growable byte store: what a writer produces, or what a test reads back.
class VectorStreamBuf : public HbStreamBuf
{
public:
    VectorStreamBuf() = default;
    explicit VectorStreamBuf(std::vector<uint8_t> bytes) : mBytes(std::move(bytes)) {}
    int Close() override { return 1; }
    size_t Read(void* destination, size_t count) override;
    size_t Write(const void* source, size_t count) override;
    int Seek(int64_t offset, int origin) override;
    int64_t Tell() override { return int64_t(mPosition); }
    int64_t Size() override { return int64_t(mBytes.size()); }
    const std::vector<uint8_t>& Bytes() const { return mBytes; }

private:
    std::vector<uint8_t> mBytes;
    size_t mPosition = 0;
};

struct SkeletonProfileRow
{
    std::string name;
    std::vector<std::string> bones;
};

struct SkeletonWriter
{
    /// Writes the bone chunk and, when profiles is not null, the profile chunk. 1, or 0
    /// when a write failed or a name is longer than a reader takes.
    static int Write(HbMChunkStream* stream, const std::vector<std::string>& bones,
                     const std::vector<SkeletonProfileRow>* profiles);
    /// The file's bytes; empty on failure.
    static std::vector<uint8_t> Bytes(const std::vector<std::string>& bones,
                                      const std::vector<SkeletonProfileRow>* profiles);
};
