// The benchmark reference of our Direct3D 9 layer: a frame's captured draws sent again straight to OpenGL, each
// state only when it differs from the draw before, the way an application written for OpenGL would send them.
#define GL_GLEXT_PROTOTYPES 1
#include "d3d9pipeline_local.h"

#include <GL/gl.h>
#include <GL/glext.h>

namespace d3d9
{
namespace
{

void enable(GLenum capability, bool on)
{
    on ? glEnable(capability) : glDisable(capability);
}

} // namespace

void Pipeline::replay(CaptureSink& capture, const float clearColour[4], float clearDepth)
{
    if (!capture.ubo)
    {
        glGenBuffers(1, &capture.ubo);
        glBindBuffer(GL_UNIFORM_BUFFER, capture.ubo);
        glBufferData(GL_UNIFORM_BUFFER, sizeof(FixedUniforms), nullptr, GL_DYNAMIC_DRAW);
        glGenBuffers(1, &capture.vsUbo);
        glBindBuffer(GL_UNIFORM_BUFFER, capture.vsUbo);
        glBufferData(GL_UNIFORM_BUFFER, kShaderConstantsF * 16, nullptr, GL_DYNAMIC_DRAW);
    }
    glBindVertexArray(mVao);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, mFbo);
    glBindBufferBase(GL_UNIFORM_BUFFER, 0, capture.ubo);
    glBindBufferBase(GL_UNIFORM_BUFFER, 1, capture.vsUbo);
    glBindBuffer(GL_UNIFORM_BUFFER, capture.ubo);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
    glClearColor(clearColour[0], clearColour[1], clearColour[2], clearColour[3]);
    glClearDepth(clearDepth);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    const CapturedDraw* before = nullptr;
    size_t vsConstants = 0;
    for (size_t i = 0; i < capture.draws.size(); ++i)
    {
        const CapturedDraw& d = capture.draws[i];
        const bool all = before == nullptr;
        if (all || d.program != before->program)
            glUseProgram(d.program);
        if (all || d.viewport != before->viewport)
            glViewport(d.viewport[0], d.viewport[1], d.viewport[2], d.viewport[3]);
        if (all || d.depthTest != before->depthTest)
            enable(GL_DEPTH_TEST, d.depthTest);
        if (all || d.depthFunc != before->depthFunc)
            glDepthFunc(d.depthFunc);
        if (all || d.depthMask != before->depthMask)
            glDepthMask(d.depthMask ? GL_TRUE : GL_FALSE);
        if (all || d.blend != before->blend)
            enable(GL_BLEND, d.blend);
        if (d.blend && (all || d.blendFunc != before->blendFunc))
            glBlendFuncSeparate(d.blendFunc[0], d.blendFunc[1], d.blendFunc[2], d.blendFunc[3]);
        if (d.blend && (all || d.blendEquation != before->blendEquation))
            glBlendEquationSeparate(d.blendEquation[0], d.blendEquation[1]);
        if (all || d.cull != before->cull)
            enable(GL_CULL_FACE, d.cull);
        if (d.cull && (all || d.cullFace != before->cullFace))
            glCullFace(d.cullFace);
        if (all || d.colourMask != before->colourMask)
            glColorMaski(0, (d.colourMask & 1) != 0, (d.colourMask & 2) != 0, (d.colourMask & 4) != 0,
                         (d.colourMask & 8) != 0);
        for (GLuint unit = 0; unit < 8; ++unit)
        {
            if (!d.textures[unit] || (!all && d.textures[unit] == before->textures[unit] &&
                                      d.textureTargets[unit] == before->textureTargets[unit]))
                continue;
            glActiveTexture(GL_TEXTURE0 + unit);
            glBindTexture(d.textureTargets[unit], d.textures[unit]);
            if (all || d.samplers[unit] != before->samplers[unit])
                glBindSampler(unit, d.samplers[unit]);
        }
        if (d.uniformBegin < d.uniformEnd)
        {
            const auto* block = reinterpret_cast<const BYTE*>(&capture.uniforms[i]);
            glBufferSubData(GL_UNIFORM_BUFFER, GLintptr(d.uniformBegin), GLsizeiptr(d.uniformEnd - d.uniformBegin),
                            block + d.uniformBegin);
        }
        if (d.vsConstants)
        {
            glBindBuffer(GL_UNIFORM_BUFFER, capture.vsUbo);
            glBufferSubData(GL_UNIFORM_BUFFER, 0, kShaderConstantsF * 16, capture.vsConstants[vsConstants++].data());
            glBindBuffer(GL_UNIFORM_BUFFER, capture.ubo);
        }
        if (d.pixelConstants >= 0)
            glUniform4fv(d.pixelConstants, 8, d.psConstants.data());
        for (GLuint a = 0; a < 16; ++a)
        {
            const AttributeState& state = d.attributes[a];
            if (!all && state == before->attributes[a])
                continue;
            if (!state.enabled)
            {
                glDisableVertexAttribArray(a);
                continue;
            }
            glEnableVertexAttribArray(a);
            glBindBuffer(GL_ARRAY_BUFFER, state.buffer);
            glVertexAttribPointer(a, state.size, state.type, state.normalized ? GL_TRUE : GL_FALSE, state.stride,
                                  reinterpret_cast<const void*>(uintptr_t(state.offset)));
        }
        if (d.indexed)
        {
            if (all || d.elementBuffer != before->elementBuffer)
                glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, d.elementBuffer);
            glDrawRangeElementsBaseVertex(d.mode, d.lowest, d.highest, GLsizei(d.count),
                                          d.index32 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                                          reinterpret_cast<const void*>(uintptr_t(d.indexOffset)), d.baseVertex);
        }
        else
            glDrawArrays(d.mode, 0, GLsizei(d.count));
        before = &d;
    }
    glActiveTexture(GL_TEXTURE0 + 15);
    // The layer's shadow of OpenGL state no longer holds, nor do the block bindings its draws expect.
    mDevice.mGl.stateDirty = true;
}

} // namespace d3d9
