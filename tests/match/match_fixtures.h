// Templates of the bundled samples for the matching tests, made in-process by
// the default engine, and the record bytes in the forms zarn-match reads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zarn::test {

// The ISO record the engine writes for samples/<name>.png.
std::vector<std::uint8_t> sampleRecord(const std::string& name);

// The record as zarn-cli prints it in each output style.
std::string plainHex(const std::vector<std::uint8_t>& bytes);
std::string prettyHex(const std::vector<std::uint8_t>& bytes);
std::string cstyleHex(const std::vector<std::uint8_t>& bytes);

}  // namespace zarn::test
