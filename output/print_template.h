// Renders a template as one line of hexadecimal text on standard output.
#pragma once

#include <ostream>
#include <stdexcept>

#include "template_bytes.h"

namespace zarn {

// Raised when standard output could not take the template line. Its message
// belongs on standard error, because standard output is what failed.
class OutputWriteError : public std::runtime_error {
  public:
    OutputWriteError() : std::runtime_error("Failed to write the template to standard output") {}
};

// Writes the bytes in the style named by g_outputFormat, then a line break.
void renderTemplate(std::ostream& out, const TemplateBytes& templateBytes);

// renderTemplate on standard output, flushed; throws OutputWriteError when
// the line did not get through.
void printTemplate(const TemplateBytes& templateBytes);

}  // namespace zarn
