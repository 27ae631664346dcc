// The 2D toolkit's open and close, the device binding with its cached device matrix and
// flattening tolerance, the transformation stack and the drawing helpers shared by fill,
// stroke and text.
#include "toolkit2d.h"

#include "brush2d.h"
#include "camera.h"
#include "engine.h"
#include "frame.h"
#include "texture.h"
#include "toolkit2d_local.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace toolkit2d
{

State& Get()
{
    static State state;
    return state;
}

void SetTextureState(const Brush2d* brush)
{
    Engine* engine = Engine::Current();
    DeviceSetRenderState set = engine ? engine->device.setRenderState : nullptr;
    if (!set)
        return;
    const Texture* texture = brush->texture;
    if (!texture)
    {
        set(kRenderStateTextureRaster, 0);
        return;
    }
    uint32_t word = texture->filterAddressing;
    uint32_t u = (word >> kTextureAddressUShift) & 0xF;
    uint32_t v = (word >> kTextureAddressVShift) & 0xF;
    set(kRenderStateTextureRaster, reinterpret_cast<intptr_t>(texture->raster));
    set(kRenderStateTextureFilter, intptr_t(word & kTextureFilterMask));
    // 0 leaves the device's addressing as it is when the two directions differ.
    set(kRenderStateTextureAddress, u == v ? intptr_t(v) : 0);
}

void DrawBatch(int32_t count, const Matrix* matrix, uint32_t flags, int32_t primitive, const uint16_t* indices,
               int32_t numIndices)
{
    if (count <= 0)
        return;
    if (Im3d::Transform(Get().vertices, uint32_t(count), matrix, flags))
    {
        Im3d::RenderIndexedPrimitive(primitive, indices, numIndices);
        Im3d::End();
    }
}

namespace
{
uint32_t Channel(float value)
{
    // Comparisons first: a NaN or huge value must not reach the integer conversion.
    if (!(value > 0.0f))
        return 0;
    if (value >= 255.0f)
        return 255;
    return uint32_t(value);
}
} // namespace

uint32_t PackColour(float r, float g, float b, float a)
{
    return Channel(a) << 24 | Channel(r) << 16 | Channel(g) << 8 | Channel(b);
}

} // namespace toolkit2d

using toolkit2d::Get;

namespace
{

void MarkTransformChanged()
{
    Get().deviceValid = false;
    Get().toleranceValid = false;
}

Matrix* Current()
{
    return Get().stack[Get().level];
}

} // namespace

// ---- Open and close ----------------------------------------------------------------------------------

int32_t Toolkit2d::Open(Camera* camera)
{
    if (Get().open)
        Close();
    if (!OpenPaths())
        return 0;
    if (!OpenBrushes())
    {
        ClosePaths();
        return 0;
    }
    if (!OpenFonts())
    {
        CloseBrushes();
        ClosePaths();
        return 0;
    }
    if (!OpenGState())
    {
        CloseFonts();
        CloseBrushes();
        ClosePaths();
        return 0;
    }
    Get().open = true;
    return Device2d::SetCamera(camera);
}

int32_t Toolkit2d::Close()
{
    if (!Get().open)
        return 0;
    CloseGState();
    CloseFonts();
    CloseBrushes();
    ClosePaths();
    Get().camera = nullptr;
    Get().open = false;
    return 0;
}

bool Toolkit2d::IsOpen()
{
    return Get().open;
}

int32_t Toolkit2d::OpenGState()
{
    toolkit2d::State& s = Get();
    s.level = 0;
    std::fill(std::begin(s.stack), std::end(s.stack), nullptr);
    s.stack[0] = Matrix::Create();
    if (!s.stack[0])
        return 0;
    Transform2d::SetIdentity();
    s.flatness = 0.5f;
    s.layerDepth = 1.0f;
    s.subdivisionLimit = 7;
    for (int32_t i = 0; i < toolkit2d::kVertexCount; ++i)
        s.indices[i] = uint16_t(i);
    s.camera = nullptr;
    MarkTransformChanged();
    return 1;
}

void Toolkit2d::CloseGState()
{
    toolkit2d::State& s = Get();
    for (Matrix*& matrix : s.stack)
    {
        if (matrix)
            Matrix::Destroy(matrix);
        matrix = nullptr;
    }
    s.level = 0;
}

// ---- Device binding -------------------------------------------------------------------------------------

int32_t Device2d::SetCamera(Camera* camera)
{
    toolkit2d::State& s = Get();
    if (!camera)
    {
        s.camera = nullptr;
        return 0;
    }
    if (!camera->frameBuffer)
        return 0;
    s.rasterWidth = float(camera->frameBuffer->width);
    s.rasterHeight = float(camera->frameBuffer->height);
    s.viewWidth = 2.0f * camera->viewWindow.x;
    s.viewHeight = 2.0f * camera->viewWindow.y;
    s.camera = camera;
    s.deviceValid = false;
    return 1;
}

Camera* Device2d::GetCamera()
{
    return Get().camera;
}

int32_t Device2d::SetLayerDepth(float depth)
{
    if (!(depth > 0.0f))
        return 0;
    Get().layerDepth = depth;
    Get().deviceValid = false;
    return 1;
}

float Device2d::GetLayerDepth()
{
    return Get().layerDepth;
}

namespace
{

void RefreshDevice()
{
    toolkit2d::State& s = Get();
    if (s.deviceValid)
        return;
    float d = s.camera && s.camera->projection == kCameraParallel ? 1.0f : s.layerDepth;
    float side = std::min(s.viewWidth, s.viewHeight);
    s.device = *Current();
    const Vector depth = {d, d, 1.0f};
    const Vector flip = {-side, side, 1.0f};
    const Vector shift = {s.viewWidth * d / 2.0f, -s.viewHeight * d / 2.0f, 0.0f};
    Matrix::Scale(&s.device, &depth, kCombinePostConcat);
    Matrix::Scale(&s.device, &flip, kCombinePostConcat);
    Matrix::Translate(&s.device, &shift, kCombinePostConcat);
    Matrix::Invert(&s.inverse, &s.device);
    s.deviceValid = true;
}

} // namespace

const Matrix* Device2d::GetMatrix()
{
    toolkit2d::State& s = Get();
    RefreshDevice();
    Frame* frame = s.camera ? s.camera->object.frame : nullptr;
    if (frame)
        Matrix::Multiply(&s.world, &s.device, Frame::GetWorldMatrix(frame));
    else
        s.world = s.device;
    return &s.world;
}

float Device2d::GetFlatTolerance()
{
    toolkit2d::State& s = Get();
    if (!s.toleranceValid)
    {
        RefreshDevice();
        float length = s.rasterWidth > 0 ? s.viewWidth / s.rasterWidth * s.flatness * s.layerDepth : 0.0f;
        const Vector& r = s.inverse.right;
        Vector v = {r.x * length, r.y * length, r.z * length};
        s.tolerance = v.x * v.x + v.y * v.y + v.z * v.z;
        s.toleranceValid = true;
    }
    return s.tolerance;
}

// ---- Transformation stack ----------------------------------------------------------------------------------

int32_t Transform2d::Push()
{
    toolkit2d::State& s = Get();
    if (s.level >= kLevels - 1 || !s.stack[s.level])
        return 0;
    Matrix*& next = s.stack[s.level + 1];
    if (!next)
        next = Matrix::Create();
    if (!next)
        return 0;
    std::memcpy(next, s.stack[s.level], sizeof(Matrix));
    ++s.level;
    return 1;
}

int32_t Transform2d::Pop()
{
    if (Get().level == 0)
        return 0;
    --Get().level;
    MarkTransformChanged();
    return 1;
}

int32_t Transform2d::GetLevel()
{
    return Get().level;
}

int32_t Transform2d::SetIdentity()
{
    Matrix* m = Current();
    if (!m)
        return 0;
    m->right = {1, 0, 0};
    m->up = {0, 1, 0};
    m->at = {0, 0, 1};
    m->pos = {0, 0, 0};
    m->flags |= kMatrixTypeMask;
    MarkTransformChanged();
    return 1;
}

int32_t Transform2d::Rotate(float degrees)
{
    const Vector axis = {0, 0, 1};
    if (!Current() || !Matrix::Rotate(Current(), &axis, degrees, kCombinePreConcat))
        return 0;
    MarkTransformChanged();
    return 1;
}

int32_t Transform2d::Scale(float sx, float sy)
{
    const Vector scale = {sx, sy, 1};
    if (!Current() || !Matrix::Scale(Current(), &scale, kCombinePreConcat))
        return 0;
    MarkTransformChanged();
    return 1;
}

int32_t Transform2d::Translate(float tx, float ty)
{
    const Vector shift = {tx, ty, 0};
    if (!Current() || !Matrix::Translate(Current(), &shift, kCombinePreConcat))
        return 0;
    MarkTransformChanged();
    return 1;
}
