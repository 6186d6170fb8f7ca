// Reading a finger minutiae template from a file: raw record bytes, or the
// record as hexadecimal text in any of the styles zarn-cli prints.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "minutia.h"

namespace zarn::match {

// The bytes a file's text stands for: hexadecimal digits, whitespace between
// them ignored, each byte optionally written "0x.." and separated by commas
// (zarn-cli's plain, pretty and cstyle output). Empty when the text is
// anything else.
std::vector<std::uint8_t> parseHexText(const std::string& text);

// The record's views as the matcher sees them, in pixels at 500 dpi (a record
// made at another resolution is scaled). Throws std::runtime_error whose
// message says why the file cannot serve as a template, after the path.
std::vector<FingerView> readTemplateFile(const std::string& path);

// The same for bytes already read; `path` only names them in the message.
std::vector<FingerView> templateViews(const std::vector<std::uint8_t>& contents,
                                      const std::string& path);

}  // namespace zarn::match
