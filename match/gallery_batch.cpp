#include "gallery_batch.h"

#include <exception>

#include "parallel.h"
#include "template_file.h"

namespace zarn::match {

GalleryBatch loadGalleryBatch(const std::vector<std::string>& paths, std::size_t from,
                              std::size_t to, bool prepare, TemplateRole role,
                              std::size_t threads) {
    GalleryBatch batch;
    batch.templates.resize(to - from);
    std::vector<std::optional<std::string>> errors(to - from);
    parallelFor(threads, to - from, [&](std::size_t t) {
        try {
            const std::vector<FingerView> views = readTemplateFile(paths[from + t]);
            if (prepare) {
                batch.templates[t] = prepareTemplate(views, role);
            }
        } catch (const std::exception& error) {
            errors[t] = error.what();
        }
    });
    for (std::optional<std::string>& error : errors) {
        if (error) {
            batch.errors.push_back(std::move(*error));
        }
    }
    return batch;
}

}  // namespace zarn::match
