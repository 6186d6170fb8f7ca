#include "narrow_path.h"

#ifdef _WIN32
#include <windows.h>

#include <clocale>
#include <system_error>
#endif

namespace zarn {

#ifdef _WIN32

namespace {

// The code page number itself, not CP_ACP/CP_OEMCP, so UTF-8 can be told apart.
UINT fileCodePage() {
    return AreFileApisANSI() ? GetACP() : GetOEMCP();
}

}  // namespace

std::string narrowPath(const std::filesystem::path& path) {
    const std::wstring& wide = path.native();
    if (wide.empty()) {
        return {};
    }
    const UINT codePage = fileCodePage();
    // No best-fit mapping: "a" for "ä" would name another file. UTF-8 takes
    // neither that flag nor the default-character report, only strictness.
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL lossy = FALSE;
    BOOL* lossyReport = utf8 ? nullptr : &lossy;
    const int wideLength = static_cast<int>(wide.size());
    const int length = WideCharToMultiByte(codePage, flags, wide.data(), wideLength, nullptr, 0,
                                           nullptr, lossyReport);
    std::string narrow(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0 && !lossy) {
        WideCharToMultiByte(codePage, flags, wide.data(), wideLength, narrow.data(), length,
                            nullptr, lossyReport);
    }
    if (length <= 0 || lossy) {
        throw std::system_error(ERROR_NO_UNICODE_TRANSLATION, std::system_category());
    }
    return narrow;
}

void useFileCodePageForPaths() {
    // The MinGW standard library converts narrow path strings with the C
    // runtime's multibyte functions, which start in the "C" locale (bytes
    // taken as Latin-1); argv itself arrives in the file code page.
    const std::string locale = "." + std::to_string(fileCodePage());
    std::setlocale(LC_CTYPE, locale.c_str());
}

#else

std::string narrowPath(const std::filesystem::path& path) {
    return path.string();
}

void useFileCodePageForPaths() {}

#endif

}  // namespace zarn
