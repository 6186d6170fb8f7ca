// The three hex styles, byte by byte.
#include <gtest/gtest.h>

#include <sstream>

#include "output_format.h"
#include "print_template.h"

namespace zarn {
namespace {

struct RenderCase {
    const char* format;
    TemplateBytes bytes;
    const char* expected;
};

void PrintTo(const RenderCase& c, std::ostream* out) {
    *out << c.format << " of " << c.bytes.size() << " bytes";
}

class RenderTemplate : public ::testing::TestWithParam<RenderCase> {};

TEST_P(RenderTemplate, WritesOneLineInTheChosenStyle) {
    const RenderCase& c = GetParam();
    g_outputFormat = c.format;
    std::ostringstream out;
    renderTemplate(out, c.bytes);
    EXPECT_EQ(out.str(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Styles, RenderTemplate,
                         ::testing::Values(
                             // An empty template is just the line break, in every style.
                             RenderCase{"plain", {}, "\n"}, RenderCase{"cstyle", {}, "\n"},
                             RenderCase{"pretty", {}, "\n"},
                             // One zero byte: two digits, no separator.
                             RenderCase{"plain", {0}, "00\n"}, RenderCase{"cstyle", {0}, "0x00\n"},
                             RenderCase{"pretty", {0}, "00\n"},
                             // Bytes under 16 keep their leading zero; case follows the style.
                             RenderCase{"plain", {0x05, 0xab, 0x0f}, "05ab0f\n"},
                             RenderCase{"cstyle", {0x05, 0xab, 0x0f}, "0x05, 0xAB, 0x0F\n"},
                             RenderCase{"pretty", {0x05, 0xab, 0x0f}, "05 AB 0F\n"}));

TEST(RenderTemplate, LongTemplateHasEveryByteAndNoTrailingSeparator) {
    const std::size_t n = 1000;
    TemplateBytes bytes(n);
    for (std::size_t i = 0; i < n; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7);
    }
    const std::pair<const char*, std::size_t> lengths[] = {
        {"plain", 2 * n + 1},
        {"cstyle", 4 * n + 2 * (n - 1) + 1},  // "0xAB" and ", "
        {"pretty", 2 * n + (n - 1) + 1},
    };
    for (const auto& [format, length] : lengths) {
        g_outputFormat = format;
        std::ostringstream out;
        renderTemplate(out, bytes);
        const std::string text = out.str();
        EXPECT_EQ(text.size(), length) << format;
        EXPECT_NE(text[text.size() - 2], ' ') << format;
    }
    g_outputFormat = "pretty";
    std::ostringstream out;
    renderTemplate(out, bytes);
    EXPECT_EQ(out.str().substr(0, 12), "00 07 0E 15 ");
    EXPECT_EQ(out.str().substr(out.str().size() - 6), "4A 51\n");  // 998*7, 999*7 mod 256
}

}  // namespace
}  // namespace zarn
