// Writes the seed corpora of the fuzz targets: small valid files of every
// image format the decoder reads, engine inputs holding a ridge pattern, and
// records. Usage: make_fuzz_seeds OUTDIR (creates OUTDIR/<target>/...).
#include <stb_image_write.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "iso19794.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

void save(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// Concentric ridges with a period of about 9 pixels.
Bytes ridges(int width, int height, int components) {
    Bytes pixels(static_cast<std::size_t>(width) * height * components);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double r = std::hypot(x - width * 0.45, y - height * 0.55);
            const auto v = static_cast<std::uint8_t>(128 + 100 * std::sin(r * 0.7));
            for (int c = 0; c < components; ++c) {
                pixels[(static_cast<std::size_t>(y) * width + x) * components + c] =
                    static_cast<std::uint8_t>(v + 20 * c);
            }
        }
    }
    return pixels;
}

void imageSeeds(const fs::path& dir) {
    fs::create_directories(dir);
    const int w = 24;
    const int h = 16;
    for (int n = 1; n <= 4; ++n) {
        const Bytes pixels = ridges(w, h, n);
        const std::string base = (dir / ("ridges" + std::to_string(n))).string();
        stbi_write_png((base + ".png").c_str(), w, h, n, pixels.data(), w * n);
        stbi_write_bmp((base + ".bmp").c_str(), w, h, n, pixels.data());
        stbi_write_tga((base + ".tga").c_str(), w, h, n, pixels.data());
        stbi_write_jpg((base + ".jpg").c_str(), w, h, n, pixels.data(), 80);
        std::vector<float> hdr(pixels.begin(), pixels.end());
        stbi_write_hdr((base + ".hdr").c_str(), w, h, n, hdr.data());
    }
    const Bytes grey = ridges(w, h, 1);
    Bytes pgm = {'P', '5', '\n', '2', '4', ' ', '1', '6', '\n', '2', '5', '5', '\n'};
    pgm.insert(pgm.end(), grey.begin(), grey.end());
    save(dir / "ridges.pgm", pgm);
    const Bytes rgb = ridges(w, h, 3);
    Bytes ppm = {'P', '6', '\n', '2', '4', ' ', '1', '6', '\n', '2', '5', '5', '\n'};
    ppm.insert(ppm.end(), rgb.begin(), rgb.end());
    save(dir / "ridges.ppm", ppm);
    // GIF89a, 2x2, two-colour palette, LZW data for pixels 0 1 1 0.
    save(dir / "tiny.gif",
         {'G', 'I', 'F', '8', '9', 'a', 2, 0, 2, 0, 0x80, 0, 0, 0,    0,    0,    255, 255,
          255, ',', 0,   0,   0,   0,   2, 0, 2, 0, 0,    2, 3, 0x44, 0x34, 0x05, 0,   ';'});
    // PSD, 4x2, one raw grey channel.
    Bytes psd = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0,
                 0,   4,   0,   8,   0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 8; ++i) {
        psd.push_back(static_cast<std::uint8_t>(i * 30));
    }
    save(dir / "tiny.psd", psd);
    // Softimage PIC, 2x2, one uncompressed RGB packet.
    Bytes pic = {0x53, 0x80, 0xF6, 0x34};
    pic.resize(92, 0);
    pic.insert(pic.end(), {'P', 'I', 'C', 'T', 0, 2, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0});
    pic.insert(pic.end(), {0, 8, 0, 0xE0});  // last packet, 8 bits, uncompressed, RGB
    for (int i = 0; i < 12; ++i) {
        pic.push_back(static_cast<std::uint8_t>(i * 20));
    }
    save(dir / "tiny.pic", pic);
}

Bytes engineImage(int side, int seed) {
    // Side is coded so that 40 + raw % 384 gives it back.
    const auto raw = static_cast<std::uint16_t>(side - 40);
    Bytes input = {static_cast<std::uint8_t>(raw >> 8), static_cast<std::uint8_t>(raw),
                   static_cast<std::uint8_t>(raw >> 8), static_cast<std::uint8_t>(raw)};
    Bytes pixels = ridges(side + seed, side, 1);
    pixels.resize(static_cast<std::size_t>(side) * side);
    input.insert(input.end(), pixels.begin(), pixels.end());
    return input;
}

void engineSeeds(const fs::path& single, const fs::path& several) {
    fs::create_directories(single);
    fs::create_directories(several);
    save(single / "ridges256", engineImage(256, 0));
    save(single / "ridges128", engineImage(128, 3));
    Bytes enrollment = {1, 6};
    for (int i = 0; i < 3; ++i) {
        const Bytes image = engineImage(160, i * 5);
        enrollment.insert(enrollment.end(), image.begin(), image.end());
    }
    save(several / "three160", enrollment);
}

void recordSeeds(const fs::path& dir) {
    fs::create_directories(dir);
    zarn::IsoRecord record;
    record.width = 400;
    record.height = 300;
    for (int v = 0; v < 2; ++v) {
        zarn::IsoFingerView view;
        view.position = 3;
        view.viewNumber = static_cast<std::uint8_t>(v);
        view.quality = 70;
        for (int m = 0; m < 5; ++m) {
            view.minutiae.push_back(
                {static_cast<std::uint8_t>(1 + m % 2), static_cast<std::uint16_t>(20 + 50 * m),
                 static_cast<std::uint16_t>(30 + 40 * m), static_cast<std::uint8_t>(m * 50),
                 static_cast<std::uint8_t>(60 + m)});
        }
        record.views.push_back(view);
    }
    save(dir / "two-views", zarn::encodeIsoRecord(record));
    record.views.resize(1);
    save(dir / "one-view", zarn::encodeIsoRecord(record));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    const fs::path out = argv[1];
    imageSeeds(out / "fuzz_decode");
    engineSeeds(out / "fuzz_enroll", out / "fuzz_enrollment");
    recordSeeds(out / "fuzz_iso_decode");
    return 0;
}
