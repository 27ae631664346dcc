// Resource-group scripts and pack archives.
#include "groupwriter.h"

#include "hbpack.h"

#include <cstdio>

std::string GroupWriter::Script(const std::vector<Resource>& resources)
{
    std::string text;
    for (const Resource& resource : resources)
        text += "add_ressource " + resource.id + " " + resource.path + "\r\n";
    return text;
}

int GroupWriter::WriteText(const std::string& fileName, const std::string& text)
{
    FILE* file = std::fopen(fileName.c_str(), "wb");
    if (!file)
        return 0;
    const size_t written = std::fwrite(text.data(), 1, text.size(), file);
    return std::fclose(file) == 0 && written == text.size() ? 1 : 0;
}

int GroupWriter::WritePack(const std::string& fileName, const std::vector<File>& files)
{
    HbPackArchive archive;
    if (!archive.Open(fileName.c_str(), "w"))
        return 0;
    int ok = 1;
    for (const File& file : files)
        if (!archive.AddEntry(file.name, file.bytes.data(), file.bytes.size()))
            ok = 0;
    archive.Close();
    return ok;
}
