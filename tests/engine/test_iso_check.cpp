#include "test_iso_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>

namespace zarn_test {

namespace {

int be16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] * 256 + b[at + 1];
}

}  // namespace

CheckedRecord checkEngineRecord(const std::vector<std::uint8_t>& b) {
    CheckedRecord record;
    if (b.size() < 24) {
        ADD_FAILURE() << "record of " << b.size() << " bytes is shorter than its header";
        return record;
    }
    const std::vector<std::uint8_t> magic = {'F', 'M', 'R', 0, ' ', '2', '0', 0};
    EXPECT_TRUE(std::equal(magic.begin(), magic.end(), b.begin())) << "format and version";
    const std::size_t declared =
        (std::size_t{b[8]} << 24) | (std::size_t{b[9]} << 16) | (std::size_t{b[10]} << 8) | b[11];
    EXPECT_EQ(declared, b.size()) << "record length field";
    EXPECT_EQ(be16(b, 12), 0) << "capture equipment";
    record.width = be16(b, 14);
    record.height = be16(b, 16);
    EXPECT_GE(record.width, 64);
    EXPECT_GE(record.height, 64);
    EXPECT_EQ(be16(b, 18), 197) << "x resolution";
    EXPECT_EQ(be16(b, 20), 197) << "y resolution";
    const int viewCount = b[22];
    EXPECT_GE(viewCount, 1);
    EXPECT_LE(viewCount, 16);
    EXPECT_EQ(b[23], 0) << "reserved header byte";

    std::size_t at = 24;
    for (int v = 0; v < viewCount; ++v) {
        if (at + 4 > b.size()) {
            ADD_FAILURE() << "view " << v << " header runs past the end";
            return record;
        }
        CheckedView view;
        view.position = b[at];
        view.viewNumber = b[at + 1] >> 4;
        view.impressionType = b[at + 1] & 0x0F;
        view.quality = b[at + 2];
        const int count = b[at + 3];
        at += 4;
        EXPECT_LE(view.position, 10) << "view " << v;
        EXPECT_EQ(view.viewNumber, v) << "views are numbered in order";
        EXPECT_EQ(view.impressionType, 0) << "live-scan plain";
        EXPECT_LE(view.quality, 100) << "view " << v;
        EXPECT_LE(count, 128) << "view " << v;
        if (at + 6 * static_cast<std::size_t>(count) + 2 > b.size()) {
            ADD_FAILURE() << "view " << v << " minutiae run past the end";
            return record;
        }
        for (int i = 0; i < count; ++i, at += 6) {
            CheckedMinutia m;
            m.type = b[at] >> 6;
            m.x = be16(b, at) & 0x3FFF;
            m.y = be16(b, at + 2) & 0x3FFF;
            m.angle = b[at + 4];
            m.quality = b[at + 5];
            EXPECT_TRUE(m.type == 1 || m.type == 2) << "minutia " << i << " type " << m.type;
            EXPECT_EQ(b[at + 2] >> 6, 0) << "reserved bits above y, minutia " << i;
            EXPECT_LT(m.x, record.width) << "minutia " << i;
            EXPECT_LT(m.y, record.height) << "minutia " << i;
            EXPECT_LE(m.quality, 100) << "minutia " << i;
            view.minutiae.push_back(m);
        }
        EXPECT_EQ(be16(b, at), 0) << "extended data length, view " << v;
        at += 2;
        record.views.push_back(view);
    }
    EXPECT_EQ(at, b.size()) << "bytes after the last view";
    return record;
}

}  // namespace zarn_test
