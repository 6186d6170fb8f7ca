// The record codec: exact bytes, round trips, strict decoding of malformed
// input, and the conversion from extracted minutiae.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <stdexcept>
#include <vector>

#include "iso19794.h"
#include "test_iso_check.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using zarn::decodeIsoRecord;
using zarn::encodeIsoRecord;
using zarn::IsoFingerView;
using zarn::IsoMinutia;
using zarn::IsoRecord;

IsoMinutia isoMinutia(int type, int x, int y, int angle, int quality) {
    IsoMinutia m;
    m.type = static_cast<std::uint8_t>(type);
    m.x = static_cast<std::uint16_t>(x);
    m.y = static_cast<std::uint16_t>(y);
    m.angle = static_cast<std::uint8_t>(angle);
    m.quality = static_cast<std::uint8_t>(quality);
    return m;
}

// Two views (two minutiae, then one) in a 300 x 400 image: 54 bytes.
IsoRecord twoViewRecord() {
    IsoRecord record;
    record.width = 300;
    record.height = 400;
    IsoFingerView first;
    first.position = 3;
    first.viewNumber = 0;
    first.quality = 60;
    first.minutiae = {isoMinutia(1, 10, 20, 64, 50), isoMinutia(2, 299, 399, 255, 100)};
    IsoFingerView second = first;
    second.viewNumber = 1;
    second.minutiae = {isoMinutia(2, 0, 0, 0, 0)};
    record.views = {first, second};
    return record;
}

void setLength(Bytes& b, std::size_t length) {
    b[8] = static_cast<std::uint8_t>(length >> 24);
    b[9] = static_cast<std::uint8_t>(length >> 16);
    b[10] = static_cast<std::uint8_t>(length >> 8);
    b[11] = static_cast<std::uint8_t>(length);
}

bool decodes(const Bytes& b) {
    return decodeIsoRecord(b.data(), b.size()).has_value();
}

TEST(IsoRecord, EncodesExactBigEndianBytes) {
    IsoRecord record = twoViewRecord();
    record.views.resize(1);
    record.views[0].viewNumber = 1;
    const Bytes expected = {'F',  'M',  'R',  0,    ' ',  '2', '0', 0,  // format, version
                            0,    0,    0,    42,                       // total length
                            0,    0,                                    // capture equipment
                            0x01, 0x2C, 0x01, 0x90,                     // 300 x 400
                            0x00, 0xC5, 0x00, 0xC5,                     // 197 px/cm
                            1,    0,                                    // one view, reserved
                            3,    0x10, 60,   2,  // position, view 1 plain, quality, count
                            0x40, 0x0A, 0x00, 0x14, 64,   50,   // ending at (10, 20)
                            0x81, 0x2B, 0x01, 0x8F, 0xFF, 100,  // bifurcation at (299, 399)
                            0,    0};                           // no extended data
    EXPECT_EQ(encodeIsoRecord(record), expected);
    EXPECT_EQ(zarn::isoRecordSize(record), expected.size());
}

TEST(IsoRecord, RoundTripsThroughTheDecoder) {
    const IsoRecord record = twoViewRecord();
    const Bytes bytes = encodeIsoRecord(record);
    ASSERT_EQ(bytes.size(), zarn::isoRecordSize(record));
    const auto decoded = decodeIsoRecord(bytes.data(), bytes.size());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(encodeIsoRecord(*decoded), bytes);
    ASSERT_EQ(decoded->views.size(), 2u);
    EXPECT_EQ(decoded->views[1].viewNumber, 1);
    EXPECT_EQ(decoded->views[0].minutiae[1].x, 299);
    EXPECT_EQ(decoded->views[0].minutiae[1].type, 2);

    // The test's own reader agrees with the engine's encoder.
    const auto checked = zarn_test::checkEngineRecord(bytes);
    ASSERT_EQ(checked.views.size(), 2u);
    EXPECT_EQ(checked.views[0].minutiae[0].angle, 64);
}

TEST(IsoRecord, EncoderRefusesWhatTheFormatCannotHold) {
    IsoRecord badViewNumber = twoViewRecord();
    badViewNumber.views[1].viewNumber = 16;
    EXPECT_THROW(encodeIsoRecord(badViewNumber), std::invalid_argument);

    IsoRecord tooManyMinutiae = twoViewRecord();
    tooManyMinutiae.views[0].minutiae.resize(256);
    EXPECT_THROW(encodeIsoRecord(tooManyMinutiae), std::invalid_argument);

    IsoRecord wideX = twoViewRecord();
    wideX.views[0].minutiae[0].x = 0x4000;
    EXPECT_THROW(encodeIsoRecord(wideX), std::invalid_argument);
}

TEST(IsoRecord, DecoderRejectsMalformedRecords) {
    // Offsets into twoViewRecord(): header 0-23, view 0 at 24 (minutiae 28-39,
    // extended length 40), view 1 at 42 (minutia 46-51, extended length 52).
    struct Case {
        const char* name;
        std::function<void(Bytes&)> spoil;
    };
    const std::vector<Case> cases = {
        {"wrong format", [](Bytes& b) { b[0] = 'X'; }},
        {"wrong version", [](Bytes& b) { b[5] = '3'; }},
        {"length field one more", [](Bytes& b) { setLength(b, b.size() + 1); }},
        {"length field one less", [](Bytes& b) { setLength(b, b.size() - 1); }},
        {"length field huge", [](Bytes& b) { setLength(b, 0xFFFFFFFFu); }},
        {"zero width", [](Bytes& b) { b[14] = b[15] = 0; }},
        {"zero resolution", [](Bytes& b) { b[18] = b[19] = 0; }},
        {"reserved header byte", [](Bytes& b) { b[23] = 1; }},
        {"more views than bytes", [](Bytes& b) { b[22] = 3; }},
        {"255 views", [](Bytes& b) { b[22] = 255; }},
        {"fewer views than bytes", [](Bytes& b) { b[22] = 1; }},
        {"no views",
         [](Bytes& b) {
             b.resize(24);
             b[22] = 0;
             setLength(b, 24);
         }},
        {"finger position 11", [](Bytes& b) { b[24] = 11; }},
        {"finger quality 101", [](Bytes& b) { b[26] = 101; }},
        {"minutiae count one more", [](Bytes& b) { b[27] = 3; }},
        {"minutiae count 255", [](Bytes& b) { b[45] = 255; }},
        {"minutia type 3", [](Bytes& b) { b[28] |= 0xC0; }},
        {"reserved bits above y", [](Bytes& b) { b[30] |= 0x40; }},
        {"x at the image width", [](Bytes& b) { b[34] = 0x81, b[35] = 0x2C; }},
        {"y at the image height", [](Bytes& b) { b[36] = 0x01, b[37] = 0x90; }},
        {"minutia quality 101", [](Bytes& b) { b[39] = 101; }},
        {"extended data past the end", [](Bytes& b) { b[53] = 5; }},
        {"extended data swallowing the next view", [](Bytes& b) { b[41] = 12; }},
        {"trailing byte",
         [](Bytes& b) {
             b.push_back(0);
             setLength(b, b.size());
         }},
    };
    const Bytes valid = encodeIsoRecord(twoViewRecord());
    ASSERT_EQ(valid.size(), 54u);
    ASSERT_TRUE(decodes(valid));
    for (const Case& c : cases) {
        Bytes b = valid;
        c.spoil(b);
        EXPECT_FALSE(decodes(b)) << c.name;
    }
    EXPECT_FALSE(decodeIsoRecord(nullptr, 54));
}

TEST(IsoRecord, DecoderRejectsEveryTruncation) {
    const Bytes valid = encodeIsoRecord(twoViewRecord());
    for (std::size_t length = 0; length < valid.size(); ++length) {
        Bytes cut(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_FALSE(decodes(cut)) << "first " << length << " bytes";
        // Also when the length field is patched to match the cut.
        if (length >= 12) {
            setLength(cut, length);
            EXPECT_FALSE(decodes(cut)) << "first " << length << " bytes, length patched";
        }
    }
}

TEST(IsoRecord, DecoderSkipsExtendedDataThatFits) {
    Bytes b = encodeIsoRecord(twoViewRecord());
    // Four bytes of extended data after view 0: one area, type 1, length 0.
    const Bytes area = {0x00, 0x01, 0x00, 0x00};
    b[41] = 4;
    b.insert(b.begin() + 42, area.begin(), area.end());
    setLength(b, b.size());
    const auto decoded = decodeIsoRecord(b.data(), b.size());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(encodeIsoRecord(*decoded), encodeIsoRecord(twoViewRecord()));
}

TEST(IsoRecord, DecoderSurvivesEverySingleByteCorruption) {
    // Under the sanitizers this shows the decoder never reads out of bounds,
    // whatever one byte says; whatever it accepts must encode back the same
    // (except the capture equipment and extended data, which it drops).
    const Bytes valid = encodeIsoRecord(twoViewRecord());
    for (std::size_t at = 0; at < valid.size(); ++at) {
        for (int value = 0; value < 256; ++value) {
            Bytes b = valid;
            b[at] = static_cast<std::uint8_t>(value);
            const auto decoded = decodeIsoRecord(b.data(), b.size());
            if (decoded && at != 12 && at != 13 && b[41] == 0 && b[53] == 0) {
                ASSERT_EQ(encodeIsoRecord(*decoded), b) << "byte " << at << " = " << value;
            }
        }
    }
}

// --- conversion from extracted minutiae ---

zarn::Minutia minutia(float x, float y, float direction, int quality = 50,
                      zarn::MinutiaType type = zarn::MinutiaType::RidgeEnding) {
    zarn::Minutia m;
    m.x = x;
    m.y = y;
    m.direction = direction;
    m.quality = static_cast<std::uint8_t>(quality);
    m.type = type;
    return m;
}

zarn::FingerView viewOf(std::vector<zarn::Minutia> minutiae, int width = 100, int height = 80) {
    zarn::FingerView view;
    view.imageWidth = width;
    view.imageHeight = height;
    view.fingerQuality = 70;
    view.minutiae = std::move(minutiae);
    return view;
}

TEST(IsoConversion, DirectionsBecomeCounterClockwiseByteAngles) {
    const float pi = 3.14159265f;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float radians;
        int angle;
    } cases[] = {
        {0.0f, 0},
        {pi / 2, 64},  // up on the image
        {pi, 128},
        {3 * pi / 2, 192},
        {2 * pi * 255.4f / 256, 255},
        {2 * pi * 255.6f / 256, 0},  // rounds up to a full turn
        {2 * pi, 0},
        {-2 * pi / 256, 255},  // slightly negative wraps around
        {nan, 0},
    };
    for (const auto& c : cases) {
        const auto iso = zarn::toIsoFingerView(viewOf({minutia(5, 5, c.radians)}), 0, 0);
        ASSERT_EQ(iso.minutiae.size(), 1u);
        EXPECT_EQ(iso.minutiae[0].angle, c.angle) << c.radians << " rad";
    }
}

TEST(IsoConversion, PositionsAreRoundedAndClampedIntoTheImage) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float x, y;
        int isoX, isoY;
    } cases[] = {
        {10.4f, 20.4f, 10, 20}, {10.5f, 20.6f, 11, 21}, {-3.0f, -0.4f, 0, 0},
        {99.6f, 79.7f, 99, 79}, {500.0f, 1e9f, 99, 79}, {nan, nan, 0, 0},
    };
    for (const auto& c : cases) {
        const auto iso = zarn::toIsoFingerView(viewOf({minutia(c.x, c.y, 0)}), 0, 0);
        ASSERT_EQ(iso.minutiae.size(), 1u);
        EXPECT_EQ(iso.minutiae[0].x, c.isoX) << c.x;
        EXPECT_EQ(iso.minutiae[0].y, c.isoY) << c.y;
    }
}

TEST(IsoConversion, CarriesTypeQualityAndViewFields) {
    const auto iso = zarn::toIsoFingerView(
        viewOf({minutia(1, 1, 0, 150, zarn::MinutiaType::Bifurcation), minutia(2, 2, 0, 40)}), 7,
        5);
    EXPECT_EQ(iso.position, 7);
    EXPECT_EQ(iso.viewNumber, 5);
    EXPECT_EQ(iso.impressionType, 0);
    EXPECT_EQ(iso.quality, 70);
    ASSERT_EQ(iso.minutiae.size(), 2u);
    EXPECT_EQ(iso.minutiae[0].type, 2);
    EXPECT_EQ(iso.minutiae[0].quality, 100);  // clamped
    EXPECT_EQ(iso.minutiae[1].type, 1);
}

TEST(IsoConversion, KeepsTheBestMinutiaeWithAStableTieBreak) {
    // 300 minutiae with few distinct qualities, each identified by its x.
    std::vector<zarn::Minutia> minutiae;
    for (int i = 0; i < 300; ++i) {
        minutiae.push_back(minutia(static_cast<float>(i), 0, 0, (i * 7) % 10 * 10));
    }
    const auto iso = zarn::toIsoFingerView(viewOf(minutiae, 400, 80), 0, 0);
    ASSERT_EQ(iso.minutiae.size(), zarn::kIsoMaxMinutiaePerView);

    std::vector<bool> kept(minutiae.size(), false);
    for (const IsoMinutia& m : iso.minutiae) {
        ASSERT_FALSE(kept[m.x]) << "minutia " << m.x << " kept twice";
        kept[m.x] = true;
    }
    // No dropped minutia beats a kept one; on equal quality the earlier wins.
    for (std::size_t k = 0; k < minutiae.size(); ++k) {
        for (std::size_t d = 0; d < minutiae.size(); ++d) {
            if (!kept[k] || kept[d]) {
                continue;
            }
            ASSERT_GE(minutiae[k].quality, minutiae[d].quality) << k << " over " << d;
            if (minutiae[k].quality == minutiae[d].quality) {
                ASSERT_LT(k, d);
            }
        }
    }
}

}  // namespace
