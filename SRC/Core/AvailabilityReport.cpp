#include "Core/AvailabilityReport.h"

#include <cstring>

#include "text/Str.h"

namespace {

class ReportReader {
public:
    ReportReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t Position() const { return position_; }
    bool AtEnd() const { return position_ == size_; }

    bool ReadInt32(std::int32_t* value) {
        if (size_ - position_ < 4) return false;
        const std::uint8_t* at = data_ + position_;
        *value = static_cast<std::int32_t>(static_cast<std::uint32_t>(at[0]) |
                                           (static_cast<std::uint32_t>(at[1]) << 8) |
                                           (static_cast<std::uint32_t>(at[2]) << 16) |
                                           (static_cast<std::uint32_t>(at[3]) << 24));
        position_ += 4;
        return true;
    }

    // A packed text up to and including its zero byte.
    bool ReadPacked(std::u16string* text) {
        const void* end = std::memchr(data_ + position_, 0, size_ - position_);
        if (end == nullptr) return false;
        const auto length = static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - (data_ + position_));
        const std::string packed(reinterpret_cast<const char*>(data_ + position_), length);
        const Str holder(packed.c_str());
        const std::uint32_t units = holder.GetUnicode(nullptr, 0);
        std::u16string decoded(units, u'\0');
        holder.GetUnicode(decoded.data(), units);
        decoded.resize(units - 1);
        *text = std::move(decoded);
        position_ += length + 1;
        return true;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

bool Fail(std::string* error, const std::string& what, std::size_t at) {
    if (error != nullptr) *error = what + " at byte " + std::to_string(at);
    return false;
}

}  // namespace

bool ParseAvailabilityReport(const std::uint8_t* data, std::size_t size, AvailabilityReport* report,
                             std::string* error) {
    AvailabilityReport parsed;
    if (data == nullptr && size != 0) return Fail(error, "no report bytes", 0);
    ReportReader reader(data, size);
    if (!reader.ReadInt32(&parsed.count)) return Fail(error, "report shorter than its count", 0);
    if (parsed.count < 0) return Fail(error, "negative entry count " + std::to_string(parsed.count), 0);
    // An entry takes at least 6 bytes: its code and two empty texts.
    if (static_cast<std::size_t>(parsed.count) > (size - 4) / 6) {
        return Fail(error, "entry count " + std::to_string(parsed.count) + " larger than the report", 0);
    }
    for (std::int32_t i = 0; i < parsed.count; ++i) {
        AvailabilityEntry entry;
        const std::size_t start = reader.Position();
        if (!reader.ReadInt32(&entry.eventCode)) return Fail(error, "entry " + std::to_string(i) + " cut short", start);
        if (!reader.ReadPacked(&entry.computer) || !reader.ReadPacked(&entry.time)) {
            return Fail(error, "entry " + std::to_string(i) + " has a text without its end", reader.Position());
        }
        parsed.entries.push_back(std::move(entry));
    }
    const std::size_t timeAt = reader.Position();
    if (!reader.ReadPacked(&parsed.currentTime)) return Fail(error, "current time missing", timeAt);
    if (parsed.currentTime.size() != 14) return Fail(error, "current time is not 14 digits", timeAt);
    for (char16_t c : parsed.currentTime) {
        if (c < u'0' || c > u'9') return Fail(error, "current time is not 14 digits", timeAt);
    }
    if (!reader.AtEnd()) return Fail(error, "bytes after the current time", reader.Position());
    if (report != nullptr) *report = std::move(parsed);
    return true;
}

const char* DescribeAvailabilityEvent(std::int32_t eventCode) {
    switch (eventCode) {
        case 6005: return "started";
        case 6006: return "clean shutdown";
        case 6008: return "unexpected shutdown";
        default: return "unknown event";
    }
}
