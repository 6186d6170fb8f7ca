// Checks of the Windows-only pieces that the end-to-end suite cannot reach
// through a narrow command line, run under Wine by scripts/test-windows.sh
// (code page 1252 there). No test framework is built for this target, so a
// table of cases and a non-zero exit code on the first mismatch.
#include <windows.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>

#include "narrow_path.h"

namespace {

int g_failures = 0;

void expectEqual(const std::string& what, const std::string& actual, const std::string& expected) {
    if (actual != expected) {
        std::cout << "FAILED " << what << ": got '" << actual << "', expected '" << expected
                  << "'\n";
        ++g_failures;
    }
}

struct NarrowCase {
    const wchar_t* wide;
    const char* narrow;  // nullptr: the conversion must fail
};

void checkNarrowPaths() {
    const NarrowCase cases[] = {
        {L"", ""},
        {L"Z:\\scans\\a.png", "Z:\\scans\\a.png"},
        {L"caf\u00e9.png", "caf\xe9.png"},
        {L"\u20acuro.png", "\x80uro.png"},  // where 1252 and Latin-1 differ
        {L"\u6307.png", nullptr},           // not in 1252
        {L"a\u0101.png", nullptr},          // best fit would give "aa.png"
    };
    for (const auto& c : cases) {
        const std::filesystem::path path(c.wide);
        std::string result;
        try {
            result = zarn::narrowPath(path);
        } catch (const std::system_error& error) {
            result = "<" + error.code().message() + ">";
            if (error.code() !=
                std::error_code(ERROR_NO_UNICODE_TRANSLATION, std::system_category())) {
                expectEqual("error code", std::to_string(error.code().value()), "1113");
            }
        }
        const std::string expected =
            c.narrow ? c.narrow
                     : "<" + std::system_category().message(ERROR_NO_UNICODE_TRANSLATION) + ">";
        expectEqual("narrowPath", result, expected);
    }
}

// The command line arrives in the file code page; after the start-up call the
// standard library must read it back as the same characters.
void checkNarrowArgumentsBecomeTheSamePath() {
    const std::string narrow = "\x80uro-caf\xe9.png";
    const bool latin1Before = std::filesystem::path(narrow).native() == L"\u0080uro-caf\u00e9.png";
    zarn::useFileCodePageForPaths();
    const std::filesystem::path path(narrow);
    expectEqual("wide form", path.native() == L"\u20acuro-caf\u00e9.png" ? "same" : "different",
                "same");
    expectEqual("round trip", zarn::narrowPath(path), narrow);
    std::cout << "before the start-up call the C runtime read bytes as "
              << (latin1Before ? "Latin-1" : "something else") << "\n";
}

}  // namespace

int main() {
    checkNarrowPaths();
    checkNarrowArgumentsBecomeTheSamePath();
    std::cout << "code page " << GetACP() << ", message for 1113: "
              << std::system_category().message(ERROR_NO_UNICODE_TRANSLATION) << "\n";
    std::cout << (g_failures ? "windows-tests FAILED\n" : "windows-tests passed\n");
    return g_failures ? 1 : 0;
}
