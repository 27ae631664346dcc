// Writes resource groups the game only reads: the group's console script of add_ressource
// lines and its pack archive, made through the pack archive's own writer.
#pragma once

#include <string>
#include <vector>

struct GroupWriter
{
    struct Resource
    {
        std::string id;
        std::string path;
    };
    struct File
    {
        std::string name;
        std::string bytes;
    };

    /// One "add_ressource <id> <path>" line per resource, each ended by CR LF.
    static std::string Script(const std::vector<Resource>& resources);
    /// Writes the text to a file on the disk; 1, or 0 when it cannot be written.
    static int WriteText(const std::string& fileName, const std::string& text);
    /// A pack archive holding the files under their names; 1, or 0 when a file cannot be added.
    static int WritePack(const std::string& fileName, const std::vector<File>& files);
};
