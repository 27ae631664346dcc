// The camera chunk, written.
#include "camerawriter.h"

#include "camera.h"
#include "chunk.h"
#include "error.h"
#include "stream.h"

#include <cstring>

namespace
{

constexpr uint32_t kBodySize = 32;

} // namespace

uint32_t CameraWriter::GetSize(const Camera* camera)
{
    return kChunkHeaderSize + kBodySize + kChunkHeaderSize +
           uint32_t(PluginRegistry::GetExtensionSize(Camera::Registry(), camera));
}

const Camera* CameraWriter::Write(const Camera* camera, Stream* stream)
{
    float reals[7] = {camera->viewWindow.x, camera->viewWindow.y, camera->viewOffset.x, camera->viewOffset.y,
                      camera->nearPlane,    camera->farPlane,     camera->fogPlane};
    uint32_t words[8];
    std::memcpy(words, reals, sizeof reals);
    words[7] = uint32_t(camera->projection);
    if (!Stream::WriteChunkHeader(stream, kChunkCamera, GetSize(camera), kLibraryVersion, kLibraryBuild) ||
        !Stream::WriteChunkHeader(stream, kChunkStruct, kBodySize, kLibraryVersion, kLibraryBuild) ||
        !Stream::WriteWords(stream, words, kBodySize) ||
        !PluginRegistry::WriteExtensionChunk(Camera::Registry(), stream, camera))
    {
        Error::Report(kCorePluginId, Error::MakeCode(kErrStreamWrite));
        return nullptr;
    }
    return camera;
}
