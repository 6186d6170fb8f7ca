// zarn-fingergen: writes synthetic fingerprint impressions (PNG) with ground-truth minutiae.
#include <stb_image_write.h>

#include <boost/program_options.hpp>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "fingergen/impression.h"
#include "fingergen/master.h"
#include "fingergen/overlay.h"
#include "fingergen/truth_file.h"

namespace po = boost::program_options;
using namespace zarn::gen;

namespace {

bool parseClass(const std::string& s, bool& any, PatternClass& cls) {
    any = s == "any";
    if (s == "arch") {
        cls = PatternClass::Arch;
    } else if (s == "left-loop") {
        cls = PatternClass::LeftLoop;
    } else if (s == "right-loop") {
        cls = PatternClass::RightLoop;
    } else if (s == "whorl") {
        cls = PatternClass::Whorl;
    } else if (!any) {
        return false;
    }
    return true;
}

bool parseDifficulty(const std::string& s, bool& mixed, Difficulty& d) {
    mixed = s == "mixed";
    if (s == "easy") {
        d = Difficulty::Easy;
    } else if (s == "medium") {
        d = Difficulty::Medium;
    } else if (s == "hard") {
        d = Difficulty::Hard;
    } else if (!mixed) {
        return false;
    }
    return true;
}

bool writeOutputs(const std::filesystem::path& stem, const zarn::GrayPlane& image,
                  const std::vector<zarn::Minutia>& minutiae, bool overlay) {
    if (overlay) {
        const std::string png = stem.string() + "_truth.png";
        const std::vector<std::uint8_t> rgb = drawTruthOverlay(image, minutiae);
        if (!stbi_write_png(png.c_str(), image.width, image.height, 3, rgb.data(),
                            image.width * 3)) {
            std::cerr << "zarn-fingergen: cannot write " << png << "\n";
            return false;
        }
    }
    const std::string png = stem.string() + ".png";
    if (!stbi_write_png(png.c_str(), image.width, image.height, 1, image.pixels.data(),
                        image.width)) {
        std::cerr << "zarn-fingergen: cannot write " << png << "\n";
        return false;
    }
    const std::string txt = stem.string() + ".txt";
    std::ofstream out(txt);
    writeTruth(out, minutiae);
    if (!out) {
        std::cerr << "zarn-fingergen: cannot write " << txt << "\n";
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string outDir = ".";
    std::string difficultyText = "mixed";
    std::string classText = "any";
    std::string prefix = "finger";
    std::uint64_t seed = 1;
    int fingers = 1;
    int impressions = 4;
    int width = 400;
    int height = 400;
    po::options_description opts(
        "Usage: zarn-fingergen [options]\n"
        "Writes <prefix><f>_<i>.png and .txt (ground-truth minutiae) for each finger f and\n"
        "impression i. The same seed always gives the same files.\n\nOptions");
    opts.add_options()("help,h", "show this help")("out,o", po::value(&outDir),
                                                   "output folder (created if missing) [.]")(
        "seed,s", po::value(&seed), "random seed [1]")("fingers,n", po::value(&fingers),
                                                       "number of fingers [1]")(
        "impressions,i", po::value(&impressions), "impressions per finger [4]")(
        "width", po::value(&width), "image width in pixels [400]")("height", po::value(&height),
                                                                   "image height in pixels [400]")(
        "difficulty,d", po::value(&difficultyText),
        "easy, medium, hard, or mixed (cycles easy, medium, hard) [mixed]")(
        "class,c", po::value(&classText), "any, arch, left-loop, right-loop or whorl [any]")(
        "prefix", po::value(&prefix), "file name prefix [finger]")(
        "master", "also write each finger's undistorted master as <prefix><f>_master")(
        "overlay", "also write <name>_truth.png with the ground truth drawn over the image");
    po::variables_map vm;
    try {
        po::store(po::parse_command_line(argc, argv, opts), vm);
        po::notify(vm);
    } catch (const std::exception& e) {
        std::cerr << "zarn-fingergen: " << e.what() << "\n";
        return 2;
    }
    if (vm.count("help")) {
        std::cout << opts;
        return 0;
    }
    bool anyClass = false;
    PatternClass fixedClass = PatternClass::Arch;
    bool mixed = false;
    Difficulty fixedDifficulty = Difficulty::Easy;
    if (!parseClass(classText, anyClass, fixedClass)) {
        std::cerr << "zarn-fingergen: unknown class '" << classText << "'\n";
        return 2;
    }
    if (!parseDifficulty(difficultyText, mixed, fixedDifficulty)) {
        std::cerr << "zarn-fingergen: unknown difficulty '" << difficultyText << "'\n";
        return 2;
    }
    if (width < 128 || height < 128 || width > 2000 || height > 2000) {
        std::cerr << "zarn-fingergen: width and height must be within 128..2000\n";
        return 2;
    }
    if (fingers < 1 || fingers > 10000 || impressions < 0 || impressions > 1000) {
        std::cerr << "zarn-fingergen: fingers must be 1..10000 and impressions 0..1000\n";
        return 2;
    }
    const bool overlay = vm.count("overlay") > 0;
    stbi_write_png_compression_level = 9;  // sample images are committed, so keep them small
    std::error_code ec;
    std::filesystem::create_directories(outDir, ec);
    if (ec) {
        std::cerr << "zarn-fingergen: cannot create " << outDir << ": " << ec.message() << "\n";
        return 1;
    }

    for (int f = 1; f <= fingers; ++f) {
        Rng classRng = deriveRng(seed, static_cast<std::uint64_t>(f), 0xc1a55ULL);
        MasterOptions mo;
        mo.width = width;
        mo.height = height;
        mo.cls = anyClass ? drawClass(classRng) : fixedClass;
        const std::uint64_t masterSeed = nextU64(classRng);
        const Master master = makeMaster(mo, masterSeed);
        const std::filesystem::path base =
            std::filesystem::path(outDir) / (prefix + std::to_string(f));
        if (vm.count("master") && !writeOutputs(base.string() + "_master", renderMaster(master),
                                                master.minutiae, overlay)) {
            return 1;
        }
        for (int i = 1; i <= impressions; ++i) {
            Rng rng = deriveRng(seed, static_cast<std::uint64_t>(f), static_cast<std::uint64_t>(i));
            const Difficulty d = mixed ? static_cast<Difficulty>((i - 1) % 3) : fixedDifficulty;
            const ImpressionParams params = drawImpressionParams(d, rng);
            const Impression imp = makeImpression(master, params, nextU64(rng));
            if (!writeOutputs(base.string() + "_" + std::to_string(i), imp.image, imp.minutiae,
                              overlay)) {
                return 1;
            }
        }
    }
    return 0;
}
