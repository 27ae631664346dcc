// Test helpers for UV animations and their dictionaries: an engine with the keyframe toolkit,
// hierarchies (for an animation of another scheme) and the UV-animation plug-in attached, and
// small builders of UV animation tables.
#pragma once

#include "animation.h"
#include "dictionary.h"
#include "engine.h"
#include "hierarchy.h"
#include "pluginfixture.h"
#include "stream.h"
#include "uvanim.h"
#include "uvanimwriter.h"
#include "world.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class UVAnimFixture : public PluginFixture
{
protected:
    void SetUp() override
    {
        SetUpWith(UVAnim::Attach);
    }

    void TearDown() override
    {
        UVAnim::SetTransformTarget(nullptr);
        PluginFixture::TearDown();
    }

    /// Reads a dictionary chunk (header included) in the UV schema; null when refused.
    static Dictionary* ReadDictionary(std::vector<uint8_t> bytes)
    {
        Stream* in = OpenReader(bytes);
        uint32_t size = 0;
        Dictionary* dictionary = nullptr;
        if (Stream::FindChunk(in, UVAnim::kDictionaryChunk, &size, nullptr))
            dictionary = UVAnim::ReadDictionary(in, size);
        Stream::Close(in, nullptr);
        return dictionary;
    }

    /// A one-node matrix-scheme animation on channel 0 that scrolls by (du, dv) over a second.
    static UVAnimDescription Scroll(const std::string& name, float du, float dv)
    {
        UVAnimDescription d;
        d.name = name;
        d.keys = {{0, 0.0f, {1, 0, 0, 1, 0, 0}}, {0, 1.0f, {1, 0, 0, 1, du, dv}}};
        return d;
    }
};
