// Writes a camera in the form Camera::StreamRead reads: the chunk, its 32-byte struct and
// the camera plug-ins' data.
#pragma once

#include <cstdint>

struct Camera;
struct Stream;

struct CameraWriter
{
    /// Body size of the camera's chunk.
    static uint32_t GetSize(const Camera* camera);
    /// The camera, or null when a write fails (0x8000001C).
    static const Camera* Write(const Camera* camera, Stream* stream);
};
