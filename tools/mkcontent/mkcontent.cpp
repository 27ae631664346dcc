// mkcontent [folder]: writes the front-end content set (default build/content).
#include "contentset.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc > 2)
    {
        std::fprintf(stderr, "usage: mkcontent [folder]\n");
        return 2;
    }
    const std::string failed = ContentWrite(argc == 2 ? argv[1] : "build/content");
    if (!failed.empty())
    {
        std::fprintf(stderr, "mkcontent: %s\n", failed.c_str());
        return 1;
    }
    return 0;
}
