// KParser: the effect-script tokeniser every block, section and track parser shares, its
// error reports, and the value readers that turn a component selector and its number into a
// field of a scalar, a 2-vector, a 3-vector or an orientation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct HbFile;
struct Matrix;
struct Quat;

/// Reads one script token at a time from an open file it does not own. A token is a run of
/// bytes other than blank, tab, carriage return and line feed; "#" where a token would begin
/// starts a comment up to the line feed. Braces are tokens only when written apart.
class KParser
{
public:
    explicit KParser(HbFile* file) : mFile(file) {}

    /// 1 with the next token current; 0 at the end of the file (the current token stays).
    int32_t ReadToken();
    const std::string& GetToken() const { return mToken; }
    bool Is(std::string_view word) const { return mToken == word; }

    /// 1 when the current token is "}".
    int32_t IsClose() const { return mToken == "}"; }
    /// Reads a token: 1 when it is "{"; 0 at the end of the file; otherwise reports
    /// "Open token { missing \n" and answers 0.
    int32_t ExpectOpen();
    /// Reads a token; "{" gives the empty name, another token is the name and the token after
    /// it must be "{". 1 with the name; 0 at the end of the file or (reported) without "{".
    int32_t ExpectOpenNamed(std::string& name);
    /// Tests the current token (reads nothing): 1 on "}", else reports and answers 0.
    int32_t ExpectClose();

    // ---- Reports: composed against the current token, kept and logged; they stop nothing ----

    /// "ERROR ON : token : message\n".
    void Report(std::string_view message);
    /// The same with "PARSER EXPECTED : list\n" appended; an empty message gives the
    /// "ERROR ON : token\n" form.
    void ReportExpected(std::string_view message, std::string_view list);
    const std::string& GetLastReport() const { return mLastReport; }
    /// True once a read has failed: the end of the file or a read error, which never raises
    /// the file's end flag.
    bool AtEnd() const { return mEnded; }
    int32_t GetReportCount() const { return mReportCount; }
    /// Where every report is also written: the standard error stream until set, null for
    /// nowhere. The caller keeps the file open while scripts are read.
    static void SetLogFile(HbFile* file);

private:
    /// One byte into c; false at the end of the file or on a read error.
    bool ReadByte(char& c);
    void Log() const;

    HbFile* mFile;
    bool mEnded = false;
    std::string mToken;
    std::string mScratch;
    std::string mLastReport;
    int32_t mReportCount = 0;
};

// ---- Value readers ---------------------------------------------------------------------------
// Each looks at the current token as a component selector: 0 when it was one and the number
// after it was stored, 1 when it is not a selector of this reader (nothing read), 2 at the
// end of the file after the selector. Numbers convert as HbAtoF does (a word reads as 0).

int32_t KReadScalar(KParser& parser, float* value);
int32_t KReadVec2(KParser& parser, float* value);
int32_t KReadVec3(KParser& parser, float* value);
/// "X", "Y", "Z" the vector, "A" the angle that travels with it.
int32_t KReadVec3Angle(KParser& parser, float* value, float* angle);

/// The direction and spin angle behind one orientation being read, so that its components
/// may come one at a time; the quaternion is rebuilt after each component.
struct KOrientationReader
{
    const Quat* destination = nullptr;
    float direction[3] = {0, 0, 0};
    float angle = 0;

    /// Forgets the direction and angle (a fresh orientation, such as a new keyframe).
    void Reset()
    {
        destination = nullptr;
        direction[0] = direction[1] = direction[2] = 0;
        angle = 0;
    }
};

/// "X", "Y", "Z" a direction, "A" a spin in degrees; the destination becomes the rotation
/// that turns +Y onto the direction and spins about it. A destination other than the
/// reader's last one starts from a zero direction and angle.
int32_t KReadOrientation(KParser& parser, KOrientationReader& reader, Quat* destination);

/// The rotation turning +Y onto the direction, then spun by angle degrees about it.
/// (0, 1, 0) and the zero direction give the identity (before the spin); (0, -1, 0) a half
/// turn about +X.
void KDirectionToMatrixY(Matrix* matrix, const float* direction, float angle);
/// As KDirectionToMatrixY for +Z: (0, 0, 1) and the zero direction give the identity, -Z a
/// half turn about +Y.
void KDirectionToMatrixZ(Matrix* matrix, const float* direction, float angle);

/// "/" before every word, in table order.
template <typename Table> std::string KWordList(const Table& table)
{
    std::string list;
    for (const auto& entry : table)
    {
        list += '/';
        list += entry.word;
    }
    return list;
}

/// The value of a word of a {word, value} table, or false.
template <typename Table> bool KLookupWord(const Table& table, std::string_view word, int32_t& value)
{
    for (const auto& entry : table)
        if (word == entry.word)
        {
            value = entry.value;
            return true;
        }
    return false;
}

/// A {word, value} entry of the scripts' word tables.
struct KWord
{
    const char* word;
    int32_t value;
};
