// The matrix chunk: the four rows and the normal and orthogonal flags.
#include "matrix.h"

#include "chunk.h"
#include "error.h"
#include "stream.h"
#include "streamstruct_local.h"

#include <cstring>

namespace
{

constexpr uint32_t kBodyWords = 13;
constexpr uint32_t kBodySize = kBodyWords * 4;

void Pack(const Matrix& matrix, uint32_t* words)
{
    const Vector* rows[4] = {&matrix.right, &matrix.up, &matrix.at, &matrix.pos};
    for (int r = 0; r < 4; ++r)
        std::memcpy(words + 3 * r, rows[r], 12);
    words[12] = matrix.flags & kMatrixOrthonormal;
}

} // namespace

const Matrix* Matrix::StreamWrite(const Matrix* matrix, Stream* stream)
{
    Matrix copy = *matrix;
    if ((copy.flags & kMatrixOrthonormal) == kMatrixOrthonormal)
        Orthonormalize(&copy, &copy);
    uint32_t words[kBodyWords];
    Pack(copy, words);
    if (!Stream::WriteChunkHeader(stream, kChunkMatrix, 64, kLibraryVersion, kLibraryBuild) ||
        !Stream::WriteChunkHeader(stream, kChunkStruct, kBodySize, kLibraryVersion, kLibraryBuild) ||
        !Stream::WriteWords(stream, words, kBodySize))
    {
        Error::Report(kCorePluginId, Error::MakeCode(kErrStreamWrite));
        return nullptr;
    }
    return matrix;
}

Matrix* Matrix::StreamRead(Stream* stream, Matrix* matrix)
{
    uint32_t words[kBodyWords] = {};
    if (!streamstruct::ReadBody(stream, words, kBodySize))
    {
        Error::Report(kCorePluginId, Error::MakeCode(kErrStreamRead));
        return nullptr;
    }
    if (!matrix && !(matrix = Create()))
        return nullptr;
    Vector* rows[4] = {&matrix->right, &matrix->up, &matrix->at, &matrix->pos};
    for (int r = 0; r < 4; ++r)
        std::memcpy(rows[r], words + 3 * r, 12);
    matrix->flags = words[12] & kMatrixOrthonormal;
    if (matrix->flags == kMatrixOrthonormal)
        Orthonormalize(matrix, matrix);
    return matrix;
}
