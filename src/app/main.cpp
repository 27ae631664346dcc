// The executable's entry: everything else lives in the app library.
#include "app.h"

int main(int argc, char** argv)
{
    return AppMain(argc, argv);
}
