// Reading templates: every form zarn-cli prints and raw bytes give the same
// views, and each way a file can be unusable gets its own reason.
#include <gtest/gtest.h>

#include <stdexcept>

#include "iso19794.h"
#include "match_fixtures.h"
#include "template_file.h"

namespace zarn::test {
namespace {

using match::parseHexText;
using match::templateViews;

std::vector<std::uint8_t> bytesOf(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

std::string reasonFor(const std::vector<std::uint8_t>& contents) {
    try {
        templateViews(contents, "t.fmr");
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

TEST(TemplateFile, HexTextInEveryStyleReadsAsTheBytes) {
    const std::vector<std::uint8_t> bytes = {0x0a, 0xb1, 0x00, 0xff};
    EXPECT_EQ(parseHexText("0ab100ff\n"), bytes);
    EXPECT_EQ(parseHexText("  0A B1 00 FF\r\n"), bytes);
    EXPECT_EQ(parseHexText("0x0A, 0xB1, 0x00, 0xFF\n"), bytes);
    EXPECT_EQ(parseHexText("0A\nB1\n00\nFF"), bytes);
}

TEST(TemplateFile, TextThatIsNotWholeBytesIsNotHex) {
    for (const char* text : {"", "   \n", "0ab", "0a b", "0x", "0xg0", "zz", "0a;b1"}) {
        EXPECT_TRUE(parseHexText(text).empty()) << '"' << text << '"';
    }
    // A comma separates bytes; it does not start the text.
    EXPECT_TRUE(parseHexText(",0a").empty());
}

TEST(TemplateFile, RawBytesAndHexTextGiveTheSameViews) {
    const std::vector<std::uint8_t> record = sampleRecord("finger1_1");
    const auto raw = templateViews(record, "raw");
    ASSERT_EQ(raw.size(), 1u);
    ASSERT_FALSE(raw[0].minutiae.empty());
    for (const std::string& text : {plainHex(record), prettyHex(record), cstyleHex(record)}) {
        const auto views = templateViews(bytesOf(text), "hex");
        ASSERT_EQ(views.size(), 1u);
        ASSERT_EQ(views[0].minutiae.size(), raw[0].minutiae.size());
        EXPECT_EQ(views[0].minutiae[3].x, raw[0].minutiae[3].x);
        EXPECT_EQ(views[0].minutiae[3].direction, raw[0].minutiae[3].direction);
    }
}

TEST(TemplateFile, UnusableContentsSayWhy) {
    const std::vector<std::uint8_t> record = sampleRecord("finger2_1");
    EXPECT_EQ(reasonFor({}), "t.fmr: empty, or neither a record nor its hexadecimal text");
    EXPECT_EQ(reasonFor(bytesOf("hello")),
              "t.fmr: empty, or neither a record nor its hexadecimal text");
    EXPECT_EQ(reasonFor(bytesOf("00112233")), "t.fmr: not a finger minutiae record");

    std::vector<std::uint8_t> cut(record.begin(), record.end() - 6);
    EXPECT_EQ(reasonFor(cut), "t.fmr: the record's size field says " +
                                  std::to_string(record.size()) + " bytes, it holds " +
                                  std::to_string(cut.size()));
    // The same fault through the hex text.
    EXPECT_EQ(reasonFor(bytesOf(plainHex(cut))), reasonFor(cut));

    std::vector<std::uint8_t> badVersion = record;
    badVersion[5] = '3';
    EXPECT_EQ(reasonFor(badVersion), "t.fmr: not a well-formed finger minutiae record");
}

TEST(TemplateFile, ARecordWithoutMinutiaeIsRefused) {
    IsoRecord record;
    record.width = 300;
    record.height = 300;
    record.views.push_back(IsoFingerView{});
    EXPECT_EQ(reasonFor(encodeIsoRecord(record)), "t.fmr: the record holds no minutiae");
}

TEST(TemplateFile, OtherResolutionsAreScaledTo500Dpi) {
    IsoRecord record;
    record.width = 800;
    record.height = 600;
    record.resolutionX = record.resolutionY = 394;  // 1000 dpi
    IsoFingerView view;
    view.minutiae.push_back({1, 400, 300, 64, 80});
    record.views.push_back(view);
    const auto views = templateViews(encodeIsoRecord(record), "hi-res");
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].imageWidth, 400);
    EXPECT_FLOAT_EQ(views[0].minutiae[0].x, 200);
    EXPECT_FLOAT_EQ(views[0].minutiae[0].y, 150);
    EXPECT_NEAR(views[0].minutiae[0].direction, 3.14159265f / 2, 1e-6);
}

TEST(TemplateFile, OnlyRegularFilesAreRead) {
    const auto reasonForPath = [](const std::string& path) -> std::string {
        try {
            match::readTemplateFile(path);
        } catch (const std::runtime_error& error) {
            return error.what();
        }
        return "";
    };
    EXPECT_EQ(reasonForPath("/nonexistent/t.fmr"),
              "/nonexistent/t.fmr: cannot be read: No such file or directory");
    EXPECT_EQ(reasonForPath("/"), "/: cannot be read: it is a directory");
    // A device would never end (and a pipe could block the whole run).
    EXPECT_EQ(reasonForPath("/dev/zero"), "/dev/zero: cannot be read: not a regular file");
}

}  // namespace
}  // namespace zarn::test
