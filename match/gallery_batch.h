// A batch of the gallery read and prepared on several threads, with what
// went wrong reported in gallery order whatever the threads did.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "search.h"

namespace zarn::match {

struct GalleryBatch {
    // In gallery order; none where the template is unusable or was not to
    // be prepared.
    std::vector<std::optional<PreparedTemplate>> templates;
    // Why each unusable template is, in gallery order.
    std::vector<std::string> errors;
};

// Reads paths[from, to) and, when `prepare`, prepares each in `role`.
GalleryBatch loadGalleryBatch(const std::vector<std::string>& paths, std::size_t from,
                              std::size_t to, bool prepare, TemplateRole role, std::size_t threads);

}  // namespace zarn::match
