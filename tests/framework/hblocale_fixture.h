// Test helper: a numeric locale whose decimal point is a comma, built in a
// directory of the test's own, so tests can show that numbers ignore the
// process locale on any machine.
#pragma once

#include "hbfile_fixture.h"

#include <clocale>
#include <cstdlib>
#include <string>

namespace hbtest
{

/// Makes the locale with localedef (its character maps come from the "locales"
/// package that scripts/packages.sh installs) and sets LC_NUMERIC to it; the
/// "C" locale is back at the end of the scope.
class CommaLocale
{
public:
    CommaLocale()
    {
        WriteBytes(mDir / "comma.def", "LC_NUMERIC\ndecimal_point \",\"\nthousands_sep \".\"\ngrouping 3\n"
                                       "END LC_NUMERIC\n");
        // localedef warns about the categories left out and exits non-zero all the same.
        std::string command =
            "localedef -c -i " + mDir / "comma.def" + " -f ANSI_X3.4-1968 " + mDir / "xx_XX" + " >/dev/null 2>&1";
        [[maybe_unused]] int ignored = std::system(command.c_str());
        ::setenv("LOCPATH", mDir.Path().c_str(), 1);
        mInEffect = std::setlocale(LC_NUMERIC, "xx_XX") != nullptr;
        ::unsetenv("LOCPATH");
    }
    ~CommaLocale() { std::setlocale(LC_NUMERIC, "C"); }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;

    bool InEffect() const { return mInEffect; }

private:
    TempDir mDir;
    bool mInEffect = false;
};

} // namespace hbtest
