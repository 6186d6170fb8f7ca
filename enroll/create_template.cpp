#include "create_template.h"

#include <iostream>
#include <stdexcept>

#include "enroll.h"
#include "narrow_path.h"
#include "print_template.h"
#include "scope_guard.h"
#include "zarn.h"

namespace zarn {

namespace {

void shutDownEngine() {
    if (VX_UninitZARN() != 0) {
        std::cout << "VX_UninitZARN failed" << std::endl;
    }
}

// Every path is checked before any image is decoded, so a typo in the last
// path costs nothing.
void checkImagePaths(const std::vector<std::filesystem::path>& paths) {
    for (const auto& path : paths) {
        if (!std::filesystem::is_regular_file(path)) {
            throw std::runtime_error("Bad image file or path: " + narrowPath(path));
        }
    }
}

}  // namespace

void createTemplate(const std::vector<std::filesystem::path>& paths, std::uint32_t position) {
    if (VX_InitZARN() != 0) {
        throw std::runtime_error("VX_InitZARN failed");
    }
    ScopeGuard engineShutdown(shutDownEngine);

    checkImagePaths(paths);
    const TemplateBytes templateBytes =
        paths.size() == 1 ? enrollSingle(paths.front()) : enrollMultiple(paths, position);
    printTemplate(templateBytes);
}

}  // namespace zarn
