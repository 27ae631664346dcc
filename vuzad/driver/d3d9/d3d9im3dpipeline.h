// The default immediate-mode pipelines on Direct3D 9: the instance node that takes the batch,
// and the submit node that draws it without lighting, with the shared index buffer and the
// three vertex declarations it owns.
#pragma once

#include "d3d9.h"

#include <cstdint>

struct Im3dBatch;
struct Im3dDeviceNodes;
struct NodeDefinition;

struct ImmInstanceNode
{
    /// "Im3DInstance.node": only a body.
    static NodeDefinition* GetDefinition();
    /// The batch of the last transform, or null.
    static const Im3dBatch* GetCurrentBatch();
};

struct SubmitNoLightNode
{
    static constexpr UINT kIndexBufferIndices = 65535;

    /// "D3D9SubmitNoLight.node": only a body.
    static NodeDefinition* GetDefinition();
    /// The shared index buffer (reset offset) and declarations A, B and C, at immediate
    /// mode's open and after every device reset. 1 (also when they exist already), or 0 when
    /// the index buffer cannot be created (what exists of the four is released).
    static int32_t CreateResources();
    /// Before a device reset and when immediate mode closes. 0 or the last release's result.
    static int32_t ReleaseResources();

    /// The next free index of the shared buffer; settable so the wrap can be reached.
    static UINT GetIndexOffset();
    static void SetIndexOffset(UINT offset);
    static IDirect3DIndexBuffer9* GetIndexBuffer();

    /// What the driver hands immediate mode at attach.
    static const Im3dDeviceNodes* DeviceNodes();
};
