// zarn-viewer: draws a template's minutiae, or what the extractor finds, over
// the fingerprint image, for a developer to look at.
#include <stb_image.h>
#include <stb_image_write.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "extract.h"
#include "extract_debug.h"
#include "iso19794.h"
#include "overlay_picture.h"
#include "template_bytes.h"
#include "zarn_engine.h"

namespace {

const char* const kUsage =
    "Usage:\n"
    "  zarn-viewer [--scale N] [--list] IMAGE TEMPLATE OUT.png\n"
    "      draw the minutiae of TEMPLATE over IMAGE\n"
    "  zarn-viewer [--scale N] [--list] [--stages] --extract IMAGE OUT.png\n"
    "      run the default engine's extractor on IMAGE and draw every minutia it finds\n"
    "\n"
    "  TEMPLATE   hex text, or a file holding hex text or the raw record bytes\n"
    "             (one ISO/IEC 19794-2:2005 finger minutiae record)\n"
    "  IMAGE      any image stb_image reads (PNG, BMP, PGM, JPEG, ...), used as 8-bit grey\n"
    "  OUT.png    the picture; a template with several views gives one picture per\n"
    "             view, OUT.view0.png, OUT.view1.png, ...\n"
    "  --scale N  enlarge the picture N times, 1 to 8 (default 2)\n"
    "  --list     also print every minutia: type, x, y, direction in degrees, quality\n"
    "  --stages   with --extract, also save each stage of the extraction beside OUT.png\n"
    "             (OUT.normalized.png, OUT.mask.png, ..., OUT.skeleton.png with the minutiae)\n"
    "  --help     this text\n"
    "\n"
    "Marks: a circle on each minutia, larger for higher quality, with a tick along its\n"
    "direction (counter-clockwise from the x axis as seen, so up is 90 degrees).\n"
    "Red: ridge ending, blue: bifurcation, green: other.\n"
    "\n"
    "Exit status: 0 done, 1 bad usage or unreadable input, 2 the extractor rejected\n"
    "the image (the picture is still written with whatever it found).\n";

struct Options {
    int scale = 2;
    bool list = false;
    bool extract = false;
    bool stages = false;
    std::vector<std::string> arguments;
};

struct GreyImage {
    int width = 0;
    int height = 0;
    std::unique_ptr<std::uint8_t, void (*)(void*)> pixels{nullptr, stbi_image_free};
};

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--scale" && i + 1 < argc) {
            options.scale = std::atoi(argv[++i]);
            if (options.scale < 1 || options.scale > 8) {
                return false;
            }
        } else if (arg == "--list") {
            options.list = true;
        } else if (arg == "--extract") {
            options.extract = true;
        } else if (arg == "--stages") {
            options.stages = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return false;
        } else {
            options.arguments.push_back(arg);
        }
    }
    if (options.stages && !options.extract) {
        return false;
    }
    return options.arguments.size() == (options.extract ? 2u : 3u);
}

// OUT.png with a name inserted before the suffix: OUT.<name>.png.
std::string siblingPath(const std::string& out, const std::string& name) {
    const std::string suffix = ".png";
    const bool hasSuffix = out.size() > suffix.size() &&
                           out.compare(out.size() - suffix.size(), suffix.size(), suffix) == 0;
    const std::string stem = hasSuffix ? out.substr(0, out.size() - suffix.size()) : out;
    return stem + "." + name + suffix;
}

std::string viewPath(const std::string& out, std::size_t view, std::size_t views) {
    return views == 1 ? out : siblingPath(out, "view" + std::to_string(view));
}

const char* typeName(int type) {
    return type == 1 ? "ending" : type == 2 ? "bifurcation" : "other";
}

bool drawView(const GreyImage& image, const Options& options,
              const std::vector<zarn::IsoMinutia>& minutiae, const std::string& path) {
    const auto picture = zarn_viewer::drawMinutiae(image.pixels.get(), image.width, image.height,
                                                   options.scale, minutiae);
    if (!stbi_write_png(path.c_str(), picture.width, picture.height, 3, picture.rgb.data(),
                        picture.width * 3)) {
        std::fprintf(stderr, "zarn-viewer: cannot write %s\n", path.c_str());
        return false;
    }
    std::printf("%s: %zu minutiae\n", path.c_str(), minutiae.size());
    if (options.list) {
        for (const zarn::IsoMinutia& m : minutiae) {
            std::printf("  %-11s x %5d  y %5d  dir %6.1f  quality %3d\n", typeName(m.type), m.x,
                        m.y, m.angle * 360.0 / 256.0, m.quality);
        }
    }
    return true;
}

// Every minutia as found, without the record's cap, at record precision.
std::vector<zarn::IsoMinutia> allMinutiae(const zarn::FingerView& view) {
    zarn::FingerView one = view;
    std::vector<zarn::IsoMinutia> out;
    for (const zarn::Minutia& m : view.minutiae) {
        one.minutiae = {m};
        const auto converted = zarn::toIsoFingerView(one, 0, 0).minutiae;
        out.insert(out.end(), converted.begin(), converted.end());
    }
    return out;
}

// Each stage the extractor filled in as a grey picture, and the skeleton with
// the minutiae on it, where misplaced or missing ones are easiest to judge.
bool saveStages(const zarn::ExtractStages& stages, const Options& options,
                const std::vector<zarn::IsoMinutia>& minutiae) {
    const std::string& out = options.arguments[1];
    const std::pair<const char*, const zarn::GrayPlane*> planes[] = {
        {"normalized", &stages.normalized},   {"mask", &stages.mask},
        {"orientation", &stages.orientation}, {"period", &stages.period},
        {"enhanced", &stages.enhanced},       {"binary", &stages.binary},
        {"skeleton", &stages.skeleton}};
    for (const auto& [name, plane] : planes) {
        if (plane->pixels.empty()) {
            continue;  // the extractor stopped before this stage
        }
        const std::string path = siblingPath(out, name);
        bool written = false;
        if (plane == &stages.skeleton) {
            const auto picture = zarn_viewer::drawMinutiae(plane->pixels.data(), plane->width,
                                                           plane->height, options.scale, minutiae);
            written = stbi_write_png(path.c_str(), picture.width, picture.height, 3,
                                     picture.rgb.data(), picture.width * 3) != 0;
        } else {
            written = stbi_write_png(path.c_str(), plane->width, plane->height, 1,
                                     plane->pixels.data(), plane->width) != 0;
        }
        if (!written) {
            std::fprintf(stderr, "zarn-viewer: cannot write %s\n", path.c_str());
            return false;
        }
        std::printf("%s\n", path.c_str());
    }
    return true;
}

int runExtract(const GreyImage& image, const Options& options) {
    // The extractor relies on its caller for the size limits.
    auto sideOk = [](int side) {
        return side >= ZARN_MIN_IMAGE_SIDE && side <= ZARN_MAX_IMAGE_SIDE;
    };
    if (!sideOk(image.width) || !sideOk(image.height)) {
        std::fprintf(stderr, "zarn-viewer: the engine takes images of %d to %d pixels a side\n",
                     ZARN_MIN_IMAGE_SIDE, ZARN_MAX_IMAGE_SIDE);
        return 1;
    }
    zarn::ExtractStages stages;
    const auto result = zarn::extractFingerViewDebug(image.pixels.get(), image.width, image.height,
                                                     options.stages ? &stages : nullptr);
    const char* status = result.status == zarn::ExtractStatus::Ok             ? "ok"
                         : result.status == zarn::ExtractStatus::NoForeground ? "no foreground"
                                                                              : "too few minutiae";
    std::printf("extractor: %s, finger quality %d\n", status, result.view.fingerQuality);
    const auto minutiae = allMinutiae(result.view);
    if (!drawView(image, options, minutiae, options.arguments[1])) {
        return 1;
    }
    if (options.stages && !saveStages(stages, options, minutiae)) {
        return 1;
    }
    return result.status == zarn::ExtractStatus::Ok ? 0 : 2;
}

int runTemplate(const GreyImage& image, const Options& options) {
    const auto bytes = zarn_viewer::loadTemplateBytes(options.arguments[1]);
    if (!bytes) {
        std::fprintf(stderr, "zarn-viewer: %s is neither hex nor a readable file\n",
                     options.arguments[1].c_str());
        return 1;
    }
    const auto record = zarn::decodeIsoRecord(bytes->data(), bytes->size());
    if (!record) {
        std::fprintf(stderr, "zarn-viewer: the template is not a well-formed record\n");
        return 1;
    }
    if (record->width != image.width || record->height != image.height) {
        std::fprintf(stderr, "zarn-viewer: note: the record says %dx%d, the image is %dx%d\n",
                     record->width, record->height, image.width, image.height);
    }
    for (std::size_t v = 0; v < record->views.size(); ++v) {
        const zarn::IsoFingerView& view = record->views[v];
        std::printf("view %zu: finger position %d, view number %d, quality %d\n", v, view.position,
                    view.viewNumber, view.quality);
        if (!drawView(image, options, view.minutiae,
                      viewPath(options.arguments[2], v, record->views.size()))) {
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    GreyImage image;
    int channels = 0;
    image.pixels.reset(
        stbi_load(options.arguments[0].c_str(), &image.width, &image.height, &channels, 1));
    if (!image.pixels) {
        std::fprintf(stderr, "zarn-viewer: cannot read image %s: %s\n",
                     options.arguments[0].c_str(), stbi_failure_reason());
        return 1;
    }
    // A developer tool, but a typo in --scale should not ask for gigabytes.
    const double pictureBytes = 3.0 * image.width * image.height * options.scale * options.scale;
    if (pictureBytes > 512.0 * 1024 * 1024) {
        std::fprintf(stderr, "zarn-viewer: the picture would be too large; lower --scale\n");
        return 1;
    }
    return options.extract ? runExtract(image, options) : runTemplate(image, options);
}
