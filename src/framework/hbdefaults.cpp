// One-line default operations.
#include "hbdefaults.h"

void DoNothing() {}

int ReturnTrue(void*)
{
    return 1;
}

void EmptyMethodOneArg(void*) {}
