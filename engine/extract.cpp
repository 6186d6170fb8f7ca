// Placeholder until the pipeline lands.
#include "extract.h"

namespace zarn {

ExtractResult extractFingerView(const std::uint8_t*, int, int) {
    return {ExtractStatus::NoForeground, {}};
}

}  // namespace zarn
