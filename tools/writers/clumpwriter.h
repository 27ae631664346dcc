// Writes clump chunks from plain descriptions, for the sample content and the tests: the
// engine itself only reads clumps. A clump holds its frame list, its geometry list, its
// atomics, its lights and its cameras, each tied to a frame by index.
#pragma once

#include "geometrywriter.h"

#include <array>
#include <cstdint>
#include <vector>

struct ClumpDescription
{
    struct Frame
    {
        /// Rows right, up, at, position.
        std::array<float, 12> rows = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
        int32_t parent = -1; ///< index of an earlier frame, -1 for the root
        /// Raw sub-chunks of the frame's extension chunk (each with its own header), such
        /// as SkinWriter::FrameNode and SkinWriter::FrameHierarchy for a skeleton.
        std::vector<uint8_t> extension;
    };
    struct Atomic
    {
        int32_t frame = 0;
        int32_t geometry = 0; ///< into geometries; unused when the list is empty
        uint32_t flags = 5;   ///< collision test and render
        /// Written inside the atomic chunk when the clump's geometry list is empty.
        GeometryDescription ownGeometry;
        /// Raw sub-chunks of the atomic's extension chunk (each with its own header).
        std::vector<uint8_t> extension;
    };
    struct Light
    {
        int32_t frame = 0;
        float radius = 0.0f;
        std::array<float, 3> colour = {1, 1, 1};
        float minusCosAngle = 0.0f;
        uint16_t flags = 3;
        uint16_t type = 128;
        std::vector<uint8_t> extension;
    };
    struct Camera
    {
        int32_t frame = 0;
        std::array<float, 2> viewWindow = {1, 1};
        std::array<float, 2> viewOffset = {0, 0};
        float nearPlane = 0.05f, farPlane = 10.0f, fogPlane = 5.0f;
        uint32_t projection = 1; ///< 1 perspective, 2 parallel
    };

    std::vector<Frame> frames; ///< at least one: frame 0 is the clump's
    std::vector<GeometryDescription> geometries;
    std::vector<Atomic> atomics;
    std::vector<Light> lights;
    std::vector<Camera> cameras;
    std::vector<uint8_t> extension; ///< the clump's own extension sub-chunks
    uint32_t version = 0x36003;
};

struct ClumpWriter
{
    /// The whole clump chunk (type 16) with its header.
    static std::vector<uint8_t> Write(const ClumpDescription& clump);
    /// A frame-list chunk (type 14) with its header; each frame gets its extension chunk.
    static std::vector<uint8_t> WriteFrameList(const std::vector<ClumpDescription::Frame>& frames,
                                               uint32_t version = 0x36003);
    /// A light chunk (type 18) with its header.
    static std::vector<uint8_t> WriteLight(const ClumpDescription::Light& light, uint32_t version = 0x36003);
    /// A camera chunk (type 5) with its header and an empty extension.
    static std::vector<uint8_t> WriteCamera(const ClumpDescription::Camera& camera, uint32_t version = 0x36003);
};
