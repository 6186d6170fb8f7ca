// Decoding image files into the one byte per pixel the engine receives.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "gray_image.h"
#include "isolated_decode.h"
#include "test_files.h"
#include "test_images.h"

namespace zarn {
namespace {

using test::ImageFormat;

struct DecodeCase {
    ImageFormat format;
    int components;
    int tolerance;  // JPEG is lossy
};

void PrintTo(const DecodeCase& c, std::ostream* out) {
    *out << test::formatName(c.format) << " with " << c.components << " components";
}

std::string caseName(const ::testing::TestParamInfo<DecodeCase>& info) {
    return test::formatName(info.param.format) + "_" + std::to_string(info.param.components);
}

class DecodeImage : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeImage, TakesTheFirstComponentWithTheTopRowFirst) {
    const DecodeCase& c = GetParam();
    test::TempDir dir;
    const auto path = dir / ("image." + test::formatName(c.format));
    const test::TestImage source = test::makeTestImage(23, 17, c.components);
    test::writeImage(path, c.format, source);

    const GrayImage image = readGrayImage(path);
    ASSERT_EQ(image.width, 23);
    ASSERT_EQ(image.height, 17);
    ASSERT_EQ(image.pixels.size(), 23u * 17u);
    for (int y = 0; y < 17; ++y) {
        for (int x = 0; x < 23; ++x) {
            const int expected =
                source.pixels[(static_cast<std::size_t>(y) * 23 + x) * c.components];
            const int actual = image.pixels[static_cast<std::size_t>(y) * 23 + x];
            ASSERT_LE(std::abs(actual - expected), c.tolerance) << "at " << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, DecodeImage,
    ::testing::Values(DecodeCase{ImageFormat::Png, 1, 0}, DecodeCase{ImageFormat::Png, 2, 0},
                      DecodeCase{ImageFormat::Png, 3, 0}, DecodeCase{ImageFormat::Png, 4, 0},
                      DecodeCase{ImageFormat::Bmp, 1, 0}, DecodeCase{ImageFormat::Bmp, 3, 0},
                      DecodeCase{ImageFormat::Bmp, 4, 0}, DecodeCase{ImageFormat::Tga, 1, 0},
                      DecodeCase{ImageFormat::Tga, 2, 0}, DecodeCase{ImageFormat::Tga, 3, 0},
                      DecodeCase{ImageFormat::Tga, 4, 0}, DecodeCase{ImageFormat::Pnm, 1, 0},
                      DecodeCase{ImageFormat::Pnm, 3, 0}, DecodeCase{ImageFormat::Jpeg, 1, 6},
                      DecodeCase{ImageFormat::Jpeg, 3, 10}),
    caseName);

TEST(DecodeImage, ConstantRedChannelGivesConstantPixelsWhateverGreenAndBlueHold) {
    test::TempDir dir;
    test::TestImage source{8, 8, 3, {}};
    for (int i = 0; i < 64; ++i) {
        source.pixels.insert(source.pixels.end(), {77, static_cast<std::uint8_t>(i * 4),
                                                   static_cast<std::uint8_t>(255 - i)});
    }
    test::writeImage(dir / "red.png", ImageFormat::Png, source);
    const GrayImage image = readGrayImage(dir / "red.png");
    EXPECT_EQ(image.pixels, std::vector<std::uint8_t>(64, 77));
}

TEST(DecodeImage, UnreadableFilesNameThePath) {
    test::TempDir dir;
    test::writeImage(dir / "whole.png", ImageFormat::Png, test::makeTestImage(16, 16, 1));
    const std::string png = test::readFile(dir / "whole.png");
    const std::pair<const char*, std::string> files[] = {
        {"empty.png", ""},
        {"text.png", "this is not an image\n"},
        {"truncated.png", png.substr(0, png.size() / 2)},
    };
    for (const auto& [name, content] : files) {
        const auto path = dir / name;
        test::writeFile(path, content);
        try {
            readGrayImage(path);
            ADD_FAILURE() << name << " decoded";
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(std::string(error.what()),
                      "Failed to read an image from file: " + path.string());
        }
    }
}

#ifndef _WIN32
// Whether this process has a child that has not ended.
bool childRunning() {
    errno = 0;
    return waitpid(-1, nullptr, WNOHANG) == 0;
}

// One decoding child serves image after image; a file it cannot decode ends
// it, and the next image gets a fresh one; ending the decoding leaves no child.
TEST(DecodeImage, OneChildServesTheImagesUntilOneFails) {
    test::TempDir dir;
    test::writeImage(dir / "a.png", ImageFormat::Png, test::makeTestImage(16, 12, 1));
    test::writeImage(dir / "b.bmp", ImageFormat::Bmp, test::makeTestImage(9, 7, 3));
    test::writeFile(dir / "bad.png", "not an image");
    EXPECT_EQ(readGrayImage(dir / "a.png").width, 16);
    EXPECT_TRUE(childRunning());
    EXPECT_EQ(readGrayImage(dir / "b.bmp").width, 9);
    EXPECT_THROW(readGrayImage(dir / "bad.png"), std::runtime_error);
    EXPECT_FALSE(childRunning());
    EXPECT_EQ(readGrayImage(dir / "a.png").height, 12);
    EXPECT_TRUE(childRunning());
    endIsolatedDecoding();
    EXPECT_FALSE(childRunning());
    EXPECT_EQ(errno, ECHILD);
    EXPECT_EQ(readGrayImage(dir / "b.bmp").height, 7);
    endIsolatedDecoding();
}
#endif

}  // namespace
}  // namespace zarn
