// The floating-point control of the engine's math. On x86-64 the engine's reals are SSE
// arithmetic, always in 24-bit precision, so the routines work on the SSE control
// register (MXCSR): they mask its exceptions and keep its rounding mode, and the x87
// control word, which no engine arithmetic uses, is left alone.
#pragma once

#include <cstdint>

struct FPU
{
    /// Saves the control register, then masks every floating-point exception; the
    /// rounding mode and the flush-to-zero bit stay. Called when the engine starts.
    static void SetSinglePrecision();
    /// Loads the word saved by SetSinglePrecision (flush-to-zero included): the thread's
    /// state from before the engine started. Does nothing when no word is saved.
    static void RestoreControlWord();
    /// SetSinglePrecision's change without saving (the device may have changed the word).
    static void ForceSinglePrecision();
    /// Denormal results become zero.
    static void SetFlushToZero();

    static uint32_t GetControlWord();
    static void SetControlWord(uint32_t word);

    static constexpr uint32_t kExceptionMasks = 0x1F80; ///< invalid, denormal, divide, overflow, underflow, precision
    static constexpr uint32_t kFlushToZero = 0x8000;
};
