#include "print_template.h"

#include <iomanip>
#include <iostream>

#include "output_format.h"

namespace zarn {

namespace {

struct OutputStyle {
    const char* prefix;
    const char* separator;
    bool upperCase;
};

OutputStyle styleFor(const std::string& format) {
    if (format == "cstyle") {
        return {"0x", ", ", true};
    }
    if (format == "pretty") {
        return {"", " ", true};
    }
    return {"", "", false};
}

}  // namespace

void renderTemplate(std::ostream& out, const TemplateBytes& templateBytes) {
    const OutputStyle style = styleFor(g_outputFormat);
    for (std::size_t i = 0; i < templateBytes.size(); ++i) {
        out << style.prefix;
        out << std::hex << std::setw(2) << std::setfill('0')
            << (style.upperCase ? std::uppercase : std::nouppercase)
            << static_cast<unsigned>(templateBytes[i]);
        if (i + 1 < templateBytes.size()) {
            out << style.separator;
        }
    }
    out << std::endl;
}

void printTemplate(const TemplateBytes& templateBytes) {
    renderTemplate(std::cout, templateBytes);
    // A template that never reached its reader must not look like success.
    if (!std::cout) {
        throw OutputWriteError();
    }
}

}  // namespace zarn
