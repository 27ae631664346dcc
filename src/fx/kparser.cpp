// The effect-script tokeniser, its reports and the value readers.
#include "kparser.h"

#include "hbfile.h"
#include "hbmath.h"
#include "matrix.h"
#include "quat.h"

#include <cmath>

namespace
{
bool gLogFileSet = false;
HbFile* gLogFile = nullptr;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

/// The selector's index in selectors, or -1.
int32_t SelectorIndex(const std::string& token, const char* selectors)
{
    if (token.size() != 1)
        return -1;
    for (int32_t i = 0; selectors[i]; ++i)
        if (token[0] == selectors[i])
            return i;
    return -1;
}

int32_t ReadComponents(KParser& parser, float* value, const char* selectors)
{
    int32_t index = SelectorIndex(parser.GetToken(), selectors);
    if (index < 0)
        return 1;
    if (!parser.ReadToken())
        return 2;
    value[index] = float(HbAtoF(parser.GetToken().c_str()));
    return 0;
}

void Identity(Matrix* m)
{
    *m = {};
    m->right = {1, 0, 0};
    m->up = {0, 1, 0};
    m->at = {0, 0, 1};
    m->flags = kMatrixOrthonormal | kMatrixIdentity;
}

void HalfTurn(Matrix* m, const Vector& axis)
{
    Matrix::Rotate(m, &axis, 180.0f, kCombineReplace);
}

void Spin(Matrix* m, const float* direction, float angle)
{
    if (angle == 0.0f)
        return;
    const Vector axis = {direction[0], direction[1], direction[2]};
    // A zero direction has no axis to spin about: the spin is dropped with it.
    if (axis.x == 0.0f && axis.y == 0.0f && axis.z == 0.0f)
        return;
    MatrixRotateAxisDegrees(m, &axis, angle, kCombinePostConcat);
}
} // namespace

// ---- Tokens ----------------------------------------------------------------------------------

bool KParser::ReadByte(char& c)
{
    // The end is known from the read itself: the file's end flag rises only after a read
    // has failed, so testing it first would append a stale byte.
    if (mFile && HbFileRead(&c, 1, 1, mFile) == 1)
        return true;
    mEnded = true;
    return false;
}

int32_t KParser::ReadToken()
{
    char c;
    if (!ReadByte(c))
        return 0;
    while (IsBlank(c) || c == '#')
    {
        if (c == '#')
        {
            do
            {
                if (!ReadByte(c))
                    return 0;
            } while (c != '\n');
        }
        if (!ReadByte(c))
            return 0;
    }
    mScratch.clear();
    do
    {
        mScratch += c;
    } while (ReadByte(c) && !IsBlank(c));
    mToken.swap(mScratch);
    return 1;
}

int32_t KParser::ExpectOpen()
{
    if (!ReadToken())
        return 0;
    if (mToken == "{")
        return 1;
    Report("Open token { missing \n");
    return 0;
}

int32_t KParser::ExpectOpenNamed(std::string& name)
{
    if (!ReadToken())
        return 0;
    if (mToken == "{")
    {
        name.clear();
        return 1;
    }
    name = mToken;
    return ExpectOpen();
}

int32_t KParser::ExpectClose()
{
    if (mToken == "}")
        return 1;
    Report("Close token } missing \n");
    return 0;
}

void KParser::SetLogFile(HbFile* file)
{
    gLogFileSet = true;
    gLogFile = file;
}

void KParser::Log() const
{
    if (HbFile* file = gLogFileSet ? gLogFile : HbFileStderr)
        HbFilePuts(mLastReport.c_str(), file);
}

void KParser::Report(std::string_view message)
{
    mLastReport = "ERROR ON : ";
    mLastReport += mToken;
    mLastReport += " : ";
    mLastReport += message;
    mLastReport += "\n";
    ++mReportCount;
    Log();
}

void KParser::ReportExpected(std::string_view message, std::string_view list)
{
    mLastReport = "ERROR ON : ";
    mLastReport += mToken;
    if (!message.empty())
    {
        mLastReport += " : ";
        mLastReport += message;
    }
    mLastReport += "\n";
    mLastReport += "PARSER EXPECTED : ";
    mLastReport += list;
    mLastReport += "\n";
    ++mReportCount;
    Log();
}

// ---- Value readers ---------------------------------------------------------------------------

int32_t KReadScalar(KParser& parser, float* value)
{
    return ReadComponents(parser, value, "V");
}

int32_t KReadVec2(KParser& parser, float* value)
{
    return ReadComponents(parser, value, "XY");
}

int32_t KReadVec3(KParser& parser, float* value)
{
    return ReadComponents(parser, value, "XYZ");
}

int32_t KReadVec3Angle(KParser& parser, float* value, float* angle)
{
    int32_t r = ReadComponents(parser, value, "XYZ");
    if (r != 1)
        return r;
    return ReadComponents(parser, angle, "A");
}

int32_t KReadOrientation(KParser& parser, KOrientationReader& reader, Quat* destination)
{
    if (reader.destination != destination)
    {
        reader.Reset();
        reader.destination = destination;
    }
    int32_t r = KReadVec3Angle(parser, reader.direction, &reader.angle);
    if (r != 0)
        return r;
    Matrix m{};
    KDirectionToMatrixY(&m, reader.direction, reader.angle);
    Quat::FromMatrix(destination, &m);
    return 0;
}

// ---- Direction matrices ----------------------------------------------------------------------

void KDirectionToMatrixY(Matrix* matrix, const float* direction, float angle)
{
    const float x = direction[0], y = direction[1], z = direction[2];
    const float length = std::sqrt(x * x + y * y + z * z);
    if ((x == 0.0f && y == 1.0f && z == 0.0f) || length == 0.0f)
        Identity(matrix);
    else
    {
        const Vector n = {x / length, y / length, z / length};
        // The axis (0, 1, 0) x n = (n.z, 0, -n.x); its length is the sine of the turn.
        const float sine = std::sqrt(n.z * n.z + n.x * n.x);
        if (sine == 0.0f)
        {
            if (n.y > 0.0f)
                Identity(matrix);
            else
                HalfTurn(matrix, {1, 0, 0});
        }
        else
        {
            const Vector axis = {n.z / sine, 0.0f, -n.x / sine};
            Matrix::RotateCosSin(matrix, &axis, 1.0f - n.y, sine, kCombineReplace);
        }
    }
    Spin(matrix, direction, angle);
}

void KDirectionToMatrixZ(Matrix* matrix, const float* direction, float angle)
{
    const float x = direction[0], y = direction[1], z = direction[2];
    const float length = std::sqrt(x * x + y * y + z * z);
    if ((x == 0.0f && y == 0.0f && z == 1.0f) || length == 0.0f)
        Identity(matrix);
    else
    {
        const Vector n = {x / length, y / length, z / length};
        // The axis (0, 0, 1) x n = (-n.y, n.x, 0).
        const float sine = std::sqrt(n.y * n.y + n.x * n.x);
        if (sine == 0.0f)
        {
            if (n.z > 0.0f)
                Identity(matrix);
            else
                HalfTurn(matrix, {0, 1, 0});
        }
        else
        {
            const Vector axis = {-n.y / sine, n.x / sine, 0.0f};
            Matrix::RotateCosSin(matrix, &axis, 1.0f - n.z, sine, kCombineReplace);
        }
    }
    Spin(matrix, direction, angle);
}
