// One-line operations used as defaults in virtual tables and callback tables.
#pragma once

/// No arguments, no effect.
void DoNothing();
/// Ignores its argument and returns 1.
int ReturnTrue(void* argument);
/// Ignores its argument.
void EmptyMethodOneArg(void* argument);
