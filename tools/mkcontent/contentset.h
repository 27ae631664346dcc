// The front-end content set: the table of its groups and resources, shared by the content
// builder and its tests, and the writer that makes the whole set in a folder.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

/// What a resource of the set is made of.
enum class ContentKind
{
    Picture, ///< a PNG: drawn, or a flat colour with a border
    Font,    ///< a glyph-sheet font (".met" and its PNG sheet)
    Text,    ///< a text resource in the group's language
    Sound,   ///< a WAV tone
    Script,  ///< a Python 3 module (its text the resource's body, or the first script's)
    Skeleton, ///< the hero's skeleton ("SKL")
    Model,    ///< the hero's skinned model ("MDL")
    Animation, ///< one of the hero's keyframed animations ("ANM"), its motion from its id
    Data,      ///< a level file made by the resource's maker (world, level, graph, databases ...)
};

struct ContentResource
{
    const char* id;
    const char* path; ///< inside the group's pack, backslash-separated
    ContentKind kind;
    uint8_t rgba[4]; ///< a picture's fill colour; its border is the colour halved
    const char* body = nullptr; ///< a script's text, or a console file's
    std::string (*make)() = nullptr; ///< a data file's maker
};

struct ContentGroup
{
    const char* name;
    std::vector<ContentResource> resources;
    /// Console lines the group's script runs after declaring its resources (the label and artwork
    /// pages' CreateLabel and CreateArtwork lines).
    std::vector<std::string> commands = {};
    /// Console lines the group's script runs before it declares its resources (the data a
    /// resource's loader reads, such as which animations have an event script).
    std::vector<std::string> before = {};
    /// Files of the group's pack that no resource names (a model's texture, the animations'
    /// event scripts): path inside the pack and bytes.
    std::vector<std::pair<std::string, std::string>> files = {};
};

/// Every group of the set in writing order.
const std::vector<ContentGroup>& ContentGroups();
/// The five language groups' names (UK first), in the order of the language choice.
const std::vector<std::string>& ContentLanguages();

/// Side of a flat picture, in texels, and the width of its border.
constexpr int32_t kContentPictureSide = 32;
constexpr int32_t kContentPictureBorder = 2;

/// A picture's texels as the set writes them (RGBA, top row first): drawn (a flag, the title, a
/// logo, a page ...) or a flat colour with a border. Empty for a resource that is no picture.
std::vector<uint8_t> ContentPicturePixels(const ContentResource& resource, int32_t* width, int32_t* height);

/// Every text id of the set, each in every language group.
const std::vector<std::string>& ContentTextIds();
/// The text of the id in the language (its index in ContentLanguages()); empty when unknown.
std::string ContentText(const std::string& id, size_t language);

/// Writes the whole set into folder: first into "<folder>.tmp"; once that is whole, each of its
/// files replaces the file of the same name in folder (made when missing). Every other file in
/// folder (the player's, an older set's) is left as it is. Empty on success, else what failed.
std::string ContentWrite(const std::string& folder);
