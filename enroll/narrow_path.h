// The narrow (char) form of a path: what the tool prints in its messages and
// hands to the image decoder.
#pragma once

#include <filesystem>
#include <string>

namespace zarn {

// POSIX: the path's own bytes. Windows: the wide path in the code page of the
// file functions (ANSI unless switched to OEM), so the decoder's narrow fopen
// opens the same file; a character that code page cannot represent throws
// std::system_error (ERROR_NO_UNICODE_TRANSLATION). Not path.string(), which
// MinGW's standard library gives in UTF-8.
std::string narrowPath(const std::filesystem::path& path);

// Makes the C runtime, and with it the standard library's narrow-to-wide path
// conversion, use that same code page, so an argument from the command line
// names the same file as a path and comes back unchanged in messages.
// Nothing to do on POSIX. Call once at start-up.
void useFileCodePageForPaths();

}  // namespace zarn
