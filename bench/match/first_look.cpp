// first_look: which gallery templates a search's first look lets through to a
// full comparison, for each probe, judged as zarn-match judges them (batches
// of the gallery, --shortlist N best quick scores so far). One line per
// template let through: "probe gallery". The input of first_look.py.
// usage: first_look SHORTLIST PROBE_LIST GALLERY_LIST
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "options.h"
#include "search.h"
#include "template_file.h"

int main(int argc, char** argv) {
    using namespace zarn::match;
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s SHORTLIST PROBE_LIST GALLERY_LIST\n", argv[0]);
        return 2;
    }
    const std::size_t size = std::strtoul(argv[1], nullptr, 10);
    const std::vector<std::string> probePaths = readTemplateList(argv[2], "probe list");
    const std::vector<std::string> gallery = readTemplateList(argv[3], "gallery list");
    std::vector<PreparedTemplate> probes;
    for (const std::string& path : probePaths) {
        probes.push_back(prepareTemplate(readTemplateFile(path), TemplateRole::Probe));
    }
    std::vector<Shortlist> shortlists(probes.size());
    for (Shortlist& shortlist : shortlists) {
        shortlist.size = size;
    }
    for (std::size_t from = 0; from < gallery.size(); from += kSearchBatch) {
        const std::size_t to = std::min(gallery.size(), from + kSearchBatch);
        std::vector<std::optional<PreparedTemplate>> batch;
        for (std::size_t t = from; t < to; ++t) {
            batch.push_back(prepareTemplate(readTemplateFile(gallery[t]), TemplateRole::Candidate));
        }
        for (std::size_t p = 0; p < probes.size(); ++p) {
            std::vector<std::optional<float>> quick;
            for (const auto& candidate : batch) {
                quick.push_back(quickCompare(probes[p], *candidate));
            }
            const std::vector<bool> admitted = shortlisted(shortlists[p], quick);
            for (std::size_t t = 0; t < batch.size(); ++t) {
                if (admitted[t]) {
                    std::printf("%s %s\n", probePaths[p].c_str(), gallery[from + t].c_str());
                }
            }
        }
    }
}
