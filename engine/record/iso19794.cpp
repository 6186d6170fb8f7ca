#include "iso19794.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <stdexcept>

namespace zarn {

namespace {

constexpr std::uint8_t kMagic[8] = {'F', 'M', 'R', 0, ' ', '2', '0', 0};
constexpr std::uint16_t kCoordinateMask = 0x3FFF;
constexpr double kTwoPi = 6.283185307179586;

// Writes big-endian fields into a buffer already sized to the whole record.
class Writer {
  public:
    explicit Writer(std::vector<std::uint8_t>& out) : out_(out) {}

    void put8(unsigned value) { out_.at(offset_++) = static_cast<std::uint8_t>(value); }
    void put16(unsigned value) {
        put8((value >> 8) & 0xFF);
        put8(value & 0xFF);
    }
    void put32(std::uint32_t value) {
        put16(value >> 16);
        put16(value & 0xFFFF);
    }

  private:
    std::vector<std::uint8_t>& out_;
    std::size_t offset_ = 0;
};

// Bounds-checked big-endian reader: every read first checks what is left, so
// a hostile length field can never move it past the end.
class Reader {
  public:
    Reader(const std::uint8_t* bytes, std::size_t length) : bytes_(bytes), length_(length) {}

    bool has(std::size_t count) const { return count <= length_ - offset_; }
    bool atEnd() const { return offset_ == length_; }

    bool skip(std::size_t count) {
        if (!has(count)) {
            return false;
        }
        offset_ += count;
        return true;
    }
    bool read8(std::uint8_t& value) {
        if (!has(1)) {
            return false;
        }
        value = bytes_[offset_++];
        return true;
    }
    bool read16(std::uint16_t& value) {
        if (!has(2)) {
            return false;
        }
        value = static_cast<std::uint16_t>((bytes_[offset_] << 8) | bytes_[offset_ + 1]);
        offset_ += 2;
        return true;
    }
    bool read32(std::uint32_t& value) {
        std::uint16_t high = 0;
        std::uint16_t low = 0;
        if (!has(4) || !read16(high) || !read16(low)) {
            return false;
        }
        value = (static_cast<std::uint32_t>(high) << 16) | low;
        return true;
    }

  private:
    const std::uint8_t* bytes_;
    std::size_t length_;
    std::size_t offset_ = 0;
};

bool readMinutia(Reader& in, const IsoRecord& record, IsoMinutia& m) {
    std::uint16_t typeAndX = 0;
    std::uint16_t reservedAndY = 0;
    if (!in.read16(typeAndX) || !in.read16(reservedAndY) || !in.read8(m.angle) ||
        !in.read8(m.quality)) {
        return false;
    }
    m.type = static_cast<std::uint8_t>(typeAndX >> 14);
    m.x = typeAndX & kCoordinateMask;
    m.y = reservedAndY & kCoordinateMask;
    // Type 3 is undefined, the top bits of y are reserved, and a minutia must
    // lie inside the image it was found in.
    return m.type != 3 && (reservedAndY >> 14) == 0 && m.quality <= 100 && m.x < record.width &&
           m.y < record.height;
}

bool readView(Reader& in, const IsoRecord& record, IsoFingerView& view) {
    std::uint8_t numberAndImpression = 0;
    std::uint8_t count = 0;
    if (!in.read8(view.position) || !in.read8(numberAndImpression) || !in.read8(view.quality) ||
        !in.read8(count)) {
        return false;
    }
    if (view.position > 10 || view.quality > 100) {
        return false;
    }
    view.viewNumber = numberAndImpression >> 4;
    view.impressionType = numberAndImpression & 0x0F;
    // Check the count against the bytes before reserving anything.
    if (!in.has(static_cast<std::size_t>(count) * kIsoMinutiaSize)) {
        return false;
    }
    view.minutiae.resize(count);
    for (IsoMinutia& m : view.minutiae) {
        if (!readMinutia(in, record, m)) {
            return false;
        }
    }
    std::uint16_t extendedLength = 0;
    return in.read16(extendedLength) && in.skip(extendedLength);
}

}  // namespace

std::size_t isoRecordSize(const IsoRecord& record) {
    std::size_t size = kIsoHeaderSize;
    for (const IsoFingerView& view : record.views) {
        size += kIsoViewOverhead + view.minutiae.size() * kIsoMinutiaSize;
    }
    return size;
}

std::vector<std::uint8_t> encodeIsoRecord(const IsoRecord& record) {
    if (record.views.size() > 255) {
        throw std::invalid_argument("too many finger views for one record");
    }
    for (const IsoFingerView& view : record.views) {
        if (view.minutiae.size() > 255 || view.viewNumber > 15 || view.impressionType > 15) {
            throw std::invalid_argument("finger view does not fit the record format");
        }
        for (const IsoMinutia& m : view.minutiae) {
            if (m.type > 2 || m.x > kCoordinateMask || m.y > kCoordinateMask) {
                throw std::invalid_argument("minutia does not fit the record format");
            }
        }
    }
    const std::size_t size = isoRecordSize(record);
    std::vector<std::uint8_t> out(size);
    Writer w(out);
    for (std::uint8_t byte : kMagic) {
        w.put8(byte);
    }
    w.put32(static_cast<std::uint32_t>(size));
    w.put16(0);  // capture equipment: not certified, device unknown
    w.put16(record.width);
    w.put16(record.height);
    w.put16(record.resolutionX);
    w.put16(record.resolutionY);
    w.put8(static_cast<unsigned>(record.views.size()));
    w.put8(0);
    for (const IsoFingerView& view : record.views) {
        w.put8(view.position);
        w.put8((view.viewNumber << 4) | view.impressionType);
        w.put8(view.quality);
        w.put8(static_cast<unsigned>(view.minutiae.size()));
        for (const IsoMinutia& m : view.minutiae) {
            w.put16((static_cast<unsigned>(m.type) << 14) | m.x);
            w.put16(m.y);
            w.put8(m.angle);
            w.put8(m.quality);
        }
        w.put16(0);  // no extended data
    }
    return out;
}

std::optional<IsoRecord> decodeIsoRecord(const std::uint8_t* bytes, std::size_t length) {
    if (bytes == nullptr || length < kIsoHeaderSize ||
        std::memcmp(bytes, kMagic, sizeof kMagic) != 0) {
        return std::nullopt;
    }
    Reader in(bytes, length);
    in.skip(sizeof kMagic);
    IsoRecord record;
    std::uint32_t declaredLength = 0;
    std::uint16_t equipment = 0;
    std::uint8_t viewCount = 0;
    std::uint8_t reserved = 0;
    in.read32(declaredLength);
    in.read16(equipment);
    in.read16(record.width);
    in.read16(record.height);
    in.read16(record.resolutionX);
    in.read16(record.resolutionY);
    in.read8(viewCount);
    in.read8(reserved);
    if (declaredLength != length || reserved != 0 || viewCount == 0 || record.width == 0 ||
        record.height == 0 || record.resolutionX == 0 || record.resolutionY == 0) {
        return std::nullopt;
    }
    // Each view needs at least its fixed bytes; check before reserving.
    if (!in.has(static_cast<std::size_t>(viewCount) * kIsoViewOverhead)) {
        return std::nullopt;
    }
    record.views.resize(viewCount);
    for (IsoFingerView& view : record.views) {
        if (!readView(in, record, view)) {
            return std::nullopt;
        }
    }
    if (!in.atEnd()) {
        return std::nullopt;
    }
    return record;
}

IsoFingerView toIsoFingerView(const FingerView& view, std::uint8_t position,
                              std::uint8_t viewNumber) {
    IsoFingerView out;
    out.position = position;
    out.viewNumber = viewNumber;
    out.impressionType = 0;  // live-scan plain
    out.quality = std::min<std::uint8_t>(view.fingerQuality, 100);

    // Best quality first; a stable sort keeps extraction order among equals so
    // the kept set never depends on the sort implementation.
    std::vector<std::size_t> order(view.minutiae.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return view.minutiae[a].quality > view.minutiae[b].quality;
    });
    order.resize(std::min(order.size(), kIsoMaxMinutiaePerView));

    // Clamp into the image and into what 14 bits can hold.
    const double maxX = std::clamp(view.imageWidth - 1, 0, int{kCoordinateMask});
    const double maxY = std::clamp(view.imageHeight - 1, 0, int{kCoordinateMask});
    auto coordinate = [](float value, double max) {
        const double v = std::isfinite(value) ? std::round(double{value}) : 0.0;
        return static_cast<std::uint16_t>(std::clamp(v, 0.0, max));
    };
    for (std::size_t index : order) {
        const Minutia& m = view.minutiae[index];
        IsoMinutia iso;
        iso.type = m.type == MinutiaType::Bifurcation ? 2 : 1;
        iso.x = coordinate(m.x, maxX);
        iso.y = coordinate(m.y, maxY);
        // Reduce first so a direction slightly outside [0, 2pi) still lands in 0-255.
        const double turns = std::isfinite(m.direction) ? m.direction / kTwoPi : 0.0;
        const double units = std::round((turns - std::floor(turns)) * 256.0);
        iso.angle = static_cast<std::uint8_t>(static_cast<int>(units) & 0xFF);
        iso.quality = std::min<std::uint8_t>(m.quality, 100);
        out.minutiae.push_back(iso);
    }
    return out;
}

}  // namespace zarn
