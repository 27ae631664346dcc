// The OpenGL 3.3 core backing of our Direct3D 9 layer: SDL windows and contexts, textures and their uploads and
// read-backs, clears, blits, presentation and buffer objects. The only file that talks to SDL.
#define GL_GLEXT_PROTOTYPES 1
#include "d3d9_local.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace d3d9
{
namespace
{

bool sVideoStarted = false;
UINT sGlErrors = 0;

#ifdef NDEBUG
constexpr bool kDebugBuild = false;
#else
constexpr bool kDebugBuild = true;
#endif

/// Counts OpenGL errors so tests can insist on none; prints them when HB_D3D9_DEBUG is set. glGetError waits
/// for the driver, so release builds ask only when a test has switched the checks on.
void check(const char* where)
{
    if (!kDebugBuild && !gHooks.glChecks)
        return;
    for (GLenum error = glGetError(); error != GL_NO_ERROR; error = glGetError())
    {
        ++sGlErrors;
        if (std::getenv("HB_D3D9_DEBUG"))
            std::fprintf(stderr, "d3d9: OpenGL error 0x%x in %s\n", error, where);
    }
}

GLenum bindTarget(const GlImage& image)
{
    return image.target == GL_TEXTURE_2D ? GL_TEXTURE_2D : GL_TEXTURE_CUBE_MAP;
}

GLenum internalFormat(const GlContext& context, const FormatInfo& format)
{
    switch (format.upload)
    {
    case Upload::Direct:
    case Upload::Depth:
        return format.glInternal;
    case Upload::Float:
        return GL_RGBA32F;
    case Upload::Compressed:
        return context.s3tc ? format.glInternal : GL_RGBA8;
    case Upload::Rgba8:
    case Upload::Palette:
        break;
    }
    return GL_RGBA8;
}

void attach(GLenum framebuffer, GLenum attachment, const GlImage* image)
{
    if (image)
        glFramebufferTexture2D(framebuffer, attachment, image->target, image->texture, image->level);
    else
        glFramebufferTexture2D(framebuffer, attachment, GL_TEXTURE_2D, 0, 0);
}

void attachDepth(GLenum framebuffer, const GlImage* image, bool stencil)
{
    attach(framebuffer, GL_DEPTH_STENCIL_ATTACHMENT, nullptr);
    if (image)
        attach(framebuffer, stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT, image);
}

} // namespace

UINT glErrorCount()
{
    return sGlErrors;
}

void glCheck(const char* where)
{
    check(where);
}

// ---- Video, windows and contexts ------------------------------------------------------------------------------

// The video subsystem and the OpenGL driver stay loaded once started, for the life of the process: unloading
// the driver with the last device and loading it again for the next is slow and strands the driver's memory.
bool glStartVideo()
{
    if (sVideoStarted)
        return true;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return false;
    if (SDL_GL_LoadLibrary(nullptr) != 0)
    {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    sVideoStarted = true;
    return true;
}

// The Win32 layer owns the SDL window behind a window handle; a handle without one (the scripted window system,
// or no window at all) makes the device render into a hidden window of its own.
void* glWindowForHandle(HWND window)
{
    return Win32GetNativeWindow(window);
}

void glClientSize(HWND window, const d3d9test::AdapterConfig& adapter, UINT* width, UINT* height)
{
    if (SDL_Window* sdlWindow = static_cast<SDL_Window*>(glWindowForHandle(window)))
    {
        int w = 0, h = 0;
        SDL_GL_GetDrawableSize(sdlWindow, &w, &h);
        *width = UINT(std::max(w, 0));
        *height = UINT(std::max(h, 0));
        return;
    }
    *width = adapter.clientWidth;
    *height = adapter.clientHeight;
}

bool glDesktopMode(D3DDISPLAYMODE* mode)
{
    SDL_DisplayMode desktop;
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0 || SDL_GetDesktopDisplayMode(0, &desktop) != 0)
        return false;
    mode->Width = UINT(desktop.w);
    mode->Height = UINT(desktop.h);
    mode->RefreshRate = UINT(desktop.refresh_rate);
    mode->Format = SDL_BITSPERPIXEL(desktop.format) == 16 ? D3DFMT_R5G6B5 : D3DFMT_X8R8G8B8;
    return true;
}

bool glOpen(HWND window, UINT width, UINT height, GlContext& out)
{
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    // Back buffers and depth surfaces are textures of our own; the window needs colour only.
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);

    SDL_Window* sdlWindow = static_cast<SDL_Window*>(glWindowForHandle(window));
    out.ownsWindow = sdlWindow == nullptr;
    if (!sdlWindow)
        sdlWindow = SDL_CreateWindow("d3d9", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, int(std::max(width, 1u)),
                                     int(std::max(height, 1u)), SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!sdlWindow)
        return false;
    SDL_GLContext context = SDL_GL_CreateContext(sdlWindow);
    if (!context)
    {
        if (out.ownsWindow)
            SDL_DestroyWindow(sdlWindow);
        return false;
    }
    out.window = sdlWindow;
    out.context = context;
    SDL_GL_MakeCurrent(sdlWindow, context);

    GLint major = 0, minor = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    glGetIntegerv(GL_MINOR_VERSION, &minor);
    if (major * 10 + minor < 33)
    {
        glClose(out);
        return false;
    }
    out.s3tc = SDL_GL_ExtensionSupported("GL_EXT_texture_compression_s3tc");
    GLuint fbos[3];
    glGenFramebuffers(3, fbos);
    out.drawFbo = fbos[0];
    out.readFbo = fbos[1];
    out.copyFbo = fbos[2];
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    check("open");
    return true;
}

void glClose(GlContext& context)
{
    if (!context.context)
        return;
    SDL_GL_MakeCurrent(static_cast<SDL_Window*>(context.window), static_cast<SDL_GLContext>(context.context));
    GLuint fbos[3] = {context.drawFbo, context.readFbo, context.copyFbo};
    glDeleteFramebuffers(3, fbos);
    SDL_GL_MakeCurrent(nullptr, nullptr);
    SDL_GL_DeleteContext(static_cast<SDL_GLContext>(context.context));
    if (context.ownsWindow)
        SDL_DestroyWindow(static_cast<SDL_Window*>(context.window));
    context = GlContext{};
}

void glMakeCurrent(const GlContext& context)
{
    SDL_GL_MakeCurrent(static_cast<SDL_Window*>(context.window), static_cast<SDL_GLContext>(context.context));
}

void glResizeOwnWindow(GlContext& context, UINT width, UINT height)
{
    if (context.ownsWindow && context.window)
        SDL_SetWindowSize(static_cast<SDL_Window*>(context.window), int(std::max(width, 1u)),
                          int(std::max(height, 1u)));
}

void glSetSwapInterval(UINT presentationInterval)
{
    // Best effort: an offscreen or adaptive driver may refuse, which changes nothing the device reports.
    SDL_GL_SetSwapInterval(presentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
}

// ---- Textures -----------------------------------------------------------------------------------------------------

uint32_t glNewTexture(const GlContext& context, const FormatInfo& format, UINT width, UINT height, UINT levels,
                      bool cube)
{
    GLuint texture = 0;
    glGenTextures(1, &texture);
    GLenum target = cube ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
    glBindTexture(target, texture);
    GLenum internal = internalFormat(context, format);
    bool compressed = format.compressed && context.s3tc;
    GLenum pixelFormat = format.upload == Upload::Depth ? format.glFormat : GL_RGBA;
    GLenum pixelType = format.upload == Upload::Depth ? format.glType : GL_UNSIGNED_BYTE;
    for (UINT face = 0; face < (cube ? 6u : 1u); ++face)
    {
        GLenum imageTarget = cube ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + face : GL_TEXTURE_2D;
        for (UINT level = 0; level < levels; ++level)
        {
            GLsizei w = GLsizei(std::max(width >> level, 1u)), h = GLsizei(std::max(height >> level, 1u));
            if (compressed)
                glCompressedTexImage2D(imageTarget, GLint(level), internal, w, h, 0,
                                       GLsizei(rowBytes(format, UINT(w)) * rowCount(format, UINT(h))), nullptr);
            else
                glTexImage2D(imageTarget, GLint(level), GLint(internal), w, h, 0, pixelFormat, pixelType, nullptr);
        }
    }
    glTexParameteri(target, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(target, GL_TEXTURE_MAX_LEVEL, GLint(levels) - 1);
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, levels > 1 ? GL_NEAREST_MIPMAP_NEAREST : GL_NEAREST);
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    if (format.swizzled())
    {
        GLint swizzle[4] = {format.swizzle[0], format.swizzle[1], format.swizzle[2], format.swizzle[3]};
        glTexParameteriv(target, GL_TEXTURE_SWIZZLE_RGBA, swizzle);
    }
    check("new texture");
    return texture;
}

void glDeleteTexture(uint32_t texture)
{
    if (texture)
    {
        GLuint name = texture;
        glDeleteTextures(1, &name);
    }
}

void glUpload(const GlContext& context, const GlImage& image, const FormatInfo& format, const RECT& rect,
              const BYTE* bits, UINT pitch, const PALETTEENTRY* palette)
{
    UINT width = UINT(rect.right - rect.left), height = UINT(rect.bottom - rect.top);
    if (width == 0 || height == 0)
        return;
    glBindTexture(bindTarget(image), image.texture);
    std::vector<BYTE> packed;
    GLenum pixelFormat = GL_RGBA, pixelType = GL_UNSIGNED_BYTE;

    auto eachPixel = [&](size_t outBytes, auto&& convert)
    {
        packed.resize(size_t(width) * height * outBytes);
        for (UINT y = 0; y < height; ++y)
            for (UINT x = 0; x < width; ++x)
                convert(bits + size_t(y) * pitch + size_t(x) * format.bytes,
                        packed.data() + (size_t(y) * width + x) * outBytes);
    };

    switch (format.upload)
    {
    case Upload::Direct:
    case Upload::Depth:
    {
        pixelFormat = format.glFormat;
        pixelType = format.glType;
        UINT row = rowBytes(format, width);
        if (pitch == row)
        {
            // Rows already follow each other: no repacking.
            glTexSubImage2D(image.target, image.level, rect.left, rect.top, GLsizei(width), GLsizei(height),
                            pixelFormat, pixelType, bits);
            check("upload");
            return;
        }
        packed.resize(size_t(row) * height);
        for (UINT y = 0; y < height; ++y)
            std::memcpy(packed.data() + size_t(y) * row, bits + size_t(y) * pitch, row);
        break;
    }
    case Upload::Rgba8:
        eachPixel(4,
                  [&](const BYTE* in, BYTE* out)
                  {
                      float rgba[4];
                      format.decode(in, rgba);
                      for (int i = 0; i < 4; ++i)
                          out[i] = BYTE(std::lround(std::clamp(rgba[i], 0.0f, 1.0f) * 255.0f));
                  });
        break;
    case Upload::Float:
        eachPixel(16,
                  [&](const BYTE* in, BYTE* out)
                  {
                      float rgba[4];
                      format.decode(in, rgba);
                      std::memcpy(out, rgba, sizeof(rgba));
                  });
        pixelType = GL_FLOAT;
        break;
    case Upload::Palette:
        eachPixel(4,
                  [&](const BYTE* in, BYTE* out)
                  {
                      PALETTEENTRY entry = palette ? palette[in[0]] : PALETTEENTRY{0, 0, 0, 0xFF};
                      out[0] = entry.peRed;
                      out[1] = entry.peGreen;
                      out[2] = entry.peBlue;
                      out[3] = format.format == D3DFMT_A8P8 ? in[1] : entry.peFlags;
                  });
        break;
    case Upload::Compressed:
    {
        UINT blockRows = rowCount(format, height), row = rowBytes(format, width);
        if (context.s3tc)
        {
            packed.resize(size_t(row) * blockRows);
            for (UINT y = 0; y < blockRows; ++y)
                std::memcpy(packed.data() + size_t(y) * row, bits + size_t(y) * pitch, row);
            glCompressedTexSubImage2D(image.target, image.level, rect.left, rect.top, GLsizei(width), GLsizei(height),
                                      format.glInternal, GLsizei(packed.size()), packed.data());
            check("compressed upload");
            return;
        }
        packed.resize(size_t(width) * height * 4);
        BYTE texels[64];
        for (UINT by = 0; by < blockRows; ++by)
            for (UINT bx = 0; bx < row / format.bytes; ++bx)
            {
                decodeDxtBlock(format.format, bits + size_t(by) * pitch + size_t(bx) * format.bytes, texels);
                for (UINT t = 0; t < 16; ++t)
                {
                    UINT x = bx * 4 + t % 4, y = by * 4 + t / 4;
                    if (x < width && y < height)
                        std::memcpy(packed.data() + (size_t(y) * width + x) * 4, texels + 4 * t, 4);
                }
            }
        break;
    }
    }
    glTexSubImage2D(image.target, image.level, rect.left, rect.top, GLsizei(width), GLsizei(height), pixelFormat,
                    pixelType, packed.data());
    check("upload");
}

void glReadImage(const GlContext& context, const GlImage& image, const FormatInfo& format, const RECT& rect, BYTE* bits,
                 UINT pitch)
{
    UINT width = UINT(rect.right - rect.left), height = UINT(rect.bottom - rect.top);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, context.readFbo);
    if (format.depth)
    {
        attach(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, nullptr);
        attachDepth(GL_READ_FRAMEBUFFER, &image, format.stencil);
        for (UINT y = 0; y < height; ++y)
            glReadPixels(rect.left, rect.top + GLint(y), GLsizei(width), 1, GL_DEPTH_COMPONENT, format.glType,
                         bits + size_t(y) * pitch);
    }
    else
    {
        attachDepth(GL_READ_FRAMEBUFFER, nullptr, false);
        attach(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, &image);
        glReadBuffer(GL_COLOR_ATTACHMENT0);
        std::vector<float> rgba(size_t(width) * height * 4);
        glReadPixels(rect.left, rect.top, GLsizei(width), GLsizei(height), GL_RGBA, GL_FLOAT, rgba.data());
        for (UINT y = 0; y < height; ++y)
            for (UINT x = 0; x < width; ++x)
                format.encode(&rgba[(size_t(y) * width + x) * 4], bits + size_t(y) * pitch + size_t(x) * format.bytes);
    }
    attach(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, nullptr);
    attachDepth(GL_READ_FRAMEBUFFER, nullptr, false);
    check("read image");
}

void glGenerateMips(uint32_t texture, bool cube)
{
    GLenum target = cube ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
    glBindTexture(target, texture);
    glGenerateMipmap(target);
    check("generate mips");
}

bool glReadTexels(const GlImage& image, const FormatInfo& format, UINT width, UINT height, std::vector<float>& rgba)
{
    if (format.depth)
        return false;
    glBindTexture(bindTarget(image), image.texture);
    std::vector<float> raw(size_t(width) * height * 4);
    glGetTexImage(image.target, image.level, GL_RGBA, GL_FLOAT, raw.data());
    rgba.resize(raw.size());
    for (size_t i = 0; i < raw.size(); i += 4)
        for (int c = 0; c < 4; ++c)
        {
            float value = raw[i + size_t(c)];
            switch (format.swizzled() ? format.swizzle[c] : -1)
            {
            case GL_RED:
                value = raw[i];
                break;
            case GL_GREEN:
                value = raw[i + 1];
                break;
            case GL_BLUE:
                value = raw[i + 2];
                break;
            case GL_ALPHA:
                value = raw[i + 3];
                break;
            case GL_ZERO:
                value = 0;
                break;
            case GL_ONE:
                value = 1;
                break;
            default:
                break;
            }
            rgba[i + size_t(c)] = value;
        }
    check("read texels");
    return true;
}

// ---- Clears, blits, presentation ------------------------------------------------------------------------------

void glClearTarget(GlContext& context, const GlTarget& target, const RECT& rect, DWORD flags, const float colour[4],
                   float z, DWORD stencil)
{
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, context.drawFbo);
    GLenum buffers[4];
    GLsizei count = 0;
    for (int i = 0; i < 4; ++i)
    {
        attach(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + GLenum(i), target.colour[i]);
        buffers[i] = target.colour[i] ? GL_COLOR_ATTACHMENT0 + GLenum(i) : GL_NONE;
        if (target.colour[i])
            count = i + 1;
    }
    attachDepth(GL_DRAW_FRAMEBUFFER, target.depth, target.depthHasStencil);
    glDrawBuffers(std::max<GLsizei>(count, 1), buffers);

    glEnable(GL_SCISSOR_TEST);
    glScissor(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    GLbitfield mask = 0;
    if ((flags & D3DCLEAR_TARGET) && count > 0)
    {
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glClearColor(colour[0], colour[1], colour[2], colour[3]);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if ((flags & D3DCLEAR_ZBUFFER) && target.depth)
    {
        glDepthMask(GL_TRUE);
        glClearDepth(z);
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    if ((flags & D3DCLEAR_STENCIL) && target.depthHasStencil)
    {
        glStencilMask(0xFF);
        glClearStencil(GLint(stencil & 0xFF));
        mask |= GL_STENCIL_BUFFER_BIT;
    }
    if (mask)
        glClear(mask);
    glDisable(GL_SCISSOR_TEST);
    context.stateDirty = true;
    check("clear");
}

void glBlit(GlContext& context, const GlImage& source, const RECT& sourceRect, const GlImage& dest,
            const RECT& destRect, bool depth, bool linear)
{
    glBindFramebuffer(GL_READ_FRAMEBUFFER, context.readFbo);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, context.copyFbo);
    GLbitfield mask = GL_COLOR_BUFFER_BIT;
    if (depth)
    {
        attach(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, nullptr);
        attach(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, nullptr);
        // Both sides share one format, so stencil goes along whenever the format has it.
        GLint stencilBits = 0;
        glBindTexture(bindTarget(source), source.texture);
        glGetTexLevelParameteriv(source.target, source.level, GL_TEXTURE_STENCIL_SIZE, &stencilBits);
        attachDepth(GL_READ_FRAMEBUFFER, &source, stencilBits > 0);
        attachDepth(GL_DRAW_FRAMEBUFFER, &dest, stencilBits > 0);
        mask = GL_DEPTH_BUFFER_BIT | (stencilBits > 0 ? GL_STENCIL_BUFFER_BIT : 0);
        glDrawBuffer(GL_NONE);
        glReadBuffer(GL_NONE);
    }
    else
    {
        attachDepth(GL_READ_FRAMEBUFFER, nullptr, false);
        attachDepth(GL_DRAW_FRAMEBUFFER, nullptr, false);
        attach(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, &source);
        attach(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, &dest);
        glReadBuffer(GL_COLOR_ATTACHMENT0);
        glDrawBuffer(GL_COLOR_ATTACHMENT0);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    }
    glDisable(GL_SCISSOR_TEST);
    glBlitFramebuffer(sourceRect.left, sourceRect.top, sourceRect.right, sourceRect.bottom, destRect.left, destRect.top,
                      destRect.right, destRect.bottom, mask, linear && !depth ? GL_LINEAR : GL_NEAREST);
    attach(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, nullptr);
    attach(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, nullptr);
    attachDepth(GL_READ_FRAMEBUFFER, nullptr, false);
    attachDepth(GL_DRAW_FRAMEBUFFER, nullptr, false);
    context.stateDirty = true;
    check("blit");
}

void glPresent(GlContext& context, void* window, const GlImage& backBuffer, UINT width, UINT height)
{
    if (!window)
        return;
    SDL_Window* sdlWindow = static_cast<SDL_Window*>(window);
    if (window != context.window)
        SDL_GL_MakeCurrent(sdlWindow, static_cast<SDL_GLContext>(context.context));
    int drawableWidth = 0, drawableHeight = 0;
    SDL_GL_GetDrawableSize(sdlWindow, &drawableWidth, &drawableHeight);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, context.readFbo);
    attachDepth(GL_READ_FRAMEBUFFER, nullptr, false);
    attach(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, &backBuffer);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    bool sameSize = int(width) == drawableWidth && int(height) == drawableHeight;
    // Our images keep the top row first; the window's first row is its bottom.
    glBlitFramebuffer(0, 0, GLint(width), GLint(height), 0, drawableHeight, drawableWidth, 0, GL_COLOR_BUFFER_BIT,
                      sameSize ? GL_NEAREST : GL_LINEAR);
    attach(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, nullptr);
    SDL_GL_SwapWindow(sdlWindow);
    if (window != context.window)
        glMakeCurrent(context);
    context.stateDirty = true;
    check("present");
}

// ---- Buffers ------------------------------------------------------------------------------------------------------

// Buffer transfers go through the copy-write binding so that no vertex-array state is disturbed.
uint32_t glNewBuffer(UINT size)
{
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_COPY_WRITE_BUFFER, buffer);
    glBufferData(GL_COPY_WRITE_BUFFER, GLsizeiptr(size), nullptr, GL_DYNAMIC_DRAW);
    check("new buffer");
    return buffer;
}

void glDeleteBuffer(uint32_t buffer)
{
    if (buffer)
    {
        GLuint name = buffer;
        glDeleteBuffers(1, &name);
    }
}

void glBufferWrite(uint32_t buffer, UINT offset, UINT size, const BYTE* data, bool orphan, UINT fullSize)
{
    glBindBuffer(GL_COPY_WRITE_BUFFER, buffer);
    if (orphan)
        glBufferData(GL_COPY_WRITE_BUFFER, GLsizeiptr(fullSize), nullptr, GL_DYNAMIC_DRAW);
    if (size)
        glBufferSubData(GL_COPY_WRITE_BUFFER, GLintptr(offset), GLsizeiptr(size), data);
    check("buffer write");
}

void glBufferRead(uint32_t buffer, UINT size, BYTE* out)
{
    glBindBuffer(GL_COPY_WRITE_BUFFER, buffer);
    glGetBufferSubData(GL_COPY_WRITE_BUFFER, 0, GLsizeiptr(size), out);
    check("buffer read");
}

} // namespace d3d9
