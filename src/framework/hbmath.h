// Framework numeric helpers: the text-to-real parser, the sine and cosine
// tables in tenths of a degree, and two small math helpers.
#pragma once

#include <cstdint>

/// Parses a real: leading bytes up to 32 (and bytes above 127) skipped, an
/// optional sign, digits, a fraction and an exponent; no hexadecimal, infinity
/// or not-a-number forms. Stores in end (when given) the first byte not consumed.
/// Reads in the "C" convention whatever the process locale.
double HbStrToD(const char* text, const char** end);
double HbAtoF(const char* text);

constexpr int kHbSinCosEntries = 3600;

/// Fills the cosine and sine tables (entry i holds the value at i/10 degrees).
void HbBuildSinCosTables();
bool HbSinCosTablesReady();
/// The cosine table; the sine table follows it directly, so entry i + 3600 is sin(i/10 degrees).
const float* HbCosTable();
const float* HbSinTable();
/// The table entry for an angle in degrees: tenths truncated toward zero,
/// wrapped into 0..3599 (negative angles count back from 3600).
int HbSinCosIndex(float degrees);

struct Matrix;
struct Vector;
/// A rotation about an axis by an angle in degrees taken from the tables
/// (built on first use if needed): combine 0 replaces the matrix, 1 applies the
/// rotation first (rotation x matrix), 2 after it (matrix x rotation). Another
/// combine value returns null and leaves the matrix unchanged.
Matrix* MatrixRotateAxisDegrees(Matrix* matrix, const Vector* axis, float degrees, int combine);

/// Squared distance of two three-float points.
float VectorDistanceSquared(const float* a, const float* b);
/// value when it is not above bound, else bound.
float ClampMax(float value, float bound);
