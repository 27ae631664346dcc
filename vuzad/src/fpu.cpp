// The floating-point control word routines over the SSE control register.
#include "fpu.h"

#include <xmmintrin.h>

namespace
{

uint32_t sSavedWord = 0;
bool sSaved = false;

} // namespace

uint32_t FPU::GetControlWord()
{
    return _mm_getcsr();
}

void FPU::SetControlWord(uint32_t word)
{
    _mm_setcsr(word);
}

void FPU::SetSinglePrecision()
{
    sSavedWord = GetControlWord();
    sSaved = true;
    ForceSinglePrecision();
}

// A device restores at every stop, also after a start that failed before anything was
// saved; loading a word never saved would unmask every exception.
void FPU::RestoreControlWord()
{
    if (!sSaved)
        return;
    SetControlWord(sSavedWord);
    sSaved = false;
}

void FPU::ForceSinglePrecision()
{
    SetControlWord(GetControlWord() | kExceptionMasks);
}

void FPU::SetFlushToZero()
{
    SetControlWord(GetControlWord() | kFlushToZero);
}
