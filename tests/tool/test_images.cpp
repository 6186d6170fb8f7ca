#include "test_images.h"

#include <stb_image_write.h>

#include <fstream>
#include <stdexcept>

namespace zarn::test {

TestImage makeTestImage(int width, int height, int components) {
    TestImage image{width, height, components, {}};
    image.pixels.resize(static_cast<std::size_t>(width) * height * components);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* pixel =
                &image.pixels[(static_cast<std::size_t>(y) * width + x) * components];
            // Smooth enough to survive JPEG within a small tolerance.
            pixel[0] = static_cast<std::uint8_t>(40 + 4 * x + 2 * y);
            for (int c = 1; c < components; ++c) {
                pixel[c] = static_cast<std::uint8_t>(255 - 3 * c - y);
            }
        }
    }
    return image;
}

namespace {

void writePnm(const std::filesystem::path& path, const TestImage& image) {
    if (image.components != 1 && image.components != 3) {
        throw std::invalid_argument("PNM holds grey or RGB only");
    }
    std::ofstream out(path, std::ios::binary);
    out << (image.components == 1 ? "P5" : "P6") << "\n"
        << image.width << " " << image.height << "\n255\n";
    out.write(reinterpret_cast<const char*>(image.pixels.data()),
              static_cast<std::streamsize>(image.pixels.size()));
}

}  // namespace

void writeImage(const std::filesystem::path& path, ImageFormat format, const TestImage& image) {
    const std::string name = path.string();
    const int w = image.width;
    const int h = image.height;
    const int n = image.components;
    const void* data = image.pixels.data();
    int ok = 1;
    switch (format) {
        case ImageFormat::Png:
            ok = stbi_write_png(name.c_str(), w, h, n, data, w * n);
            break;
        case ImageFormat::Bmp:
            ok = stbi_write_bmp(name.c_str(), w, h, n, data);
            break;
        case ImageFormat::Tga:
            ok = stbi_write_tga(name.c_str(), w, h, n, data);
            break;
        case ImageFormat::Jpeg:
            ok = stbi_write_jpg(name.c_str(), w, h, n, data, 100);
            break;
        case ImageFormat::Pnm:
            writePnm(path, image);
            break;
    }
    if (!ok) {
        throw std::runtime_error("could not write test image " + name);
    }
}

std::string formatName(ImageFormat format) {
    switch (format) {
        case ImageFormat::Png:
            return "png";
        case ImageFormat::Bmp:
            return "bmp";
        case ImageFormat::Tga:
            return "tga";
        case ImageFormat::Jpeg:
            return "jpg";
        case ImageFormat::Pnm:
            return "pnm";
    }
    return "img";
}

}  // namespace zarn::test
