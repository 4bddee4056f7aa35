#include "EvtWriter.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace evtwriter {

namespace ef = eventlog_format;

RecordBuilder::RecordBuilder(std::uint32_t eventId) {
    record_.eventId = eventId;
    record_.sourceName = u"EventLog";
    record_.computerName = u"TESTHOST";
}

RecordBuilder& RecordBuilder::Time(std::uint32_t timeGenerated) {
    record_.timeGenerated = timeGenerated;
    record_.timeWritten = timeGenerated;
    return *this;
}
RecordBuilder& RecordBuilder::Type(std::uint16_t eventType) {
    record_.eventType = eventType;
    return *this;
}
RecordBuilder& RecordBuilder::Source(std::u16string sourceName) {
    record_.sourceName = std::move(sourceName);
    return *this;
}
RecordBuilder& RecordBuilder::Computer(std::u16string computerName) {
    record_.computerName = std::move(computerName);
    return *this;
}
RecordBuilder& RecordBuilder::Strings(std::vector<std::u16string> strings) {
    record_.strings = std::move(strings);
    return *this;
}
RecordBuilder& RecordBuilder::Data(std::vector<std::uint8_t> data) {
    record_.data = std::move(data);
    return *this;
}
RecordBuilder& RecordBuilder::PadTo(std::uint32_t length) {
    padTo_ = length;
    return *this;
}

Record RecordBuilder::Build() const {
    Record r = record_;
    std::size_t size = ef::EncodeEventRecord(r).size();
    if (size < padTo_) r.data.resize(r.data.size() + (padTo_ - size), 0xA5);
    return r;
}

std::vector<std::uint8_t> SystemTimes(const SYSTEMTIME& first, const SYSTEMTIME& second) {
    std::vector<std::uint8_t> out;
    for (const SYSTEMTIME* t : {&first, &second}) {
        for (WORD w : {t->wYear, t->wMonth, t->wDayOfWeek, t->wDay, t->wHour, t->wMinute,
                       t->wSecond, t->wMilliseconds}) {
            out.push_back(static_cast<std::uint8_t>(w));
            out.push_back(static_cast<std::uint8_t>(w >> 8));
        }
    }
    return out;
}

namespace {

[[noreturn]] void Abort(const char* why) {
    std::fprintf(stderr, "evtwriter: %s\n", why);
    std::abort();
}

std::vector<std::vector<std::uint8_t>> Encode(const std::vector<Record>& records,
                                              std::uint32_t firstNumber) {
    std::vector<std::vector<std::uint8_t>> out;
    for (std::size_t i = 0; i < records.size(); ++i) {
        Record r = records[i];
        r.recordNumber = firstNumber + static_cast<std::uint32_t>(i);
        out.push_back(ef::EncodeEventRecord(r));
    }
    return out;
}

}  // namespace

LogImage BuildLog(const std::vector<Record>& records, const LogOptions& options) {
    auto encoded = Encode(records, options.firstRecordNumber);
    std::uint64_t used = ef::kEofSize;
    for (const auto& r : encoded) used += r.size();
    std::uint64_t fileSize = options.fileSize ? options.fileSize : ef::kHeaderSize + used;
    if (fileSize < ef::kHeaderSize + used || fileSize > UINT32_MAX) Abort("records do not fit");
    if (options.startOffset < ef::kHeaderSize || options.startOffset >= fileSize ||
        options.startOffset % 4 != 0) {
        Abort("bad start offset");
    }

    LogImage image;
    image.bytes.assign(fileSize, 0);
    const auto size = static_cast<std::uint32_t>(fileSize);
    std::uint32_t pos = options.startOffset;
    auto put = [&](const std::vector<std::uint8_t>& bytes) {
        for (std::uint8_t b : bytes) {
            image.bytes[pos++] = b;
            if (pos == size) pos = ef::kHeaderSize;
        }
    };
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        const auto& r = encoded[i];
        if (options.fillBeforeRecord == i) {
            if (pos < options.startOffset) Abort("fill only before the first wrap");
            for (; pos + 4 <= size; pos += 4) ef::StoreU32(&image.bytes[pos], 0x00000027);
            pos = ef::kHeaderSize;
        }
        image.recordOffsets.push_back(pos);
        image.recordLengths.push_back(static_cast<std::uint32_t>(r.size()));
        put(r);
    }
    image.eofOffset = pos;
    const std::uint32_t first = options.firstRecordNumber;
    const auto count = static_cast<std::uint32_t>(encoded.size());
    put(ef::EncodeEofRecord(options.startOffset, image.eofOffset, first + count, first));

    // The header as the writer leaves it: complete when the log was closed,
    // describing an earlier state (and flagged) when it was not.
    std::uint32_t headerCount = options.dirty ? std::min(options.headerRecordCount, count) : count;
    std::uint32_t headerEnd =
        headerCount < count ? image.recordOffsets[headerCount] : image.eofOffset;
    std::uint8_t* h = image.bytes.data();
    ef::StoreU32(h + ef::kHeaderHeaderSize, ef::kHeaderSize);
    ef::StoreU32(h + ef::kHeaderSignature, ef::kSignature);
    ef::StoreU32(h + ef::kHeaderMajorVersion, ef::kMajorVersion);
    ef::StoreU32(h + ef::kHeaderMinorVersion, ef::kMinorVersion);
    ef::StoreU32(h + ef::kHeaderStartOffset, options.startOffset);
    ef::StoreU32(h + ef::kHeaderEndOffset, headerEnd);
    ef::StoreU32(h + ef::kHeaderCurrentRecordNumber, first + headerCount);
    ef::StoreU32(h + ef::kHeaderOldestRecordNumber, first);
    ef::StoreU32(h + ef::kHeaderMaxSize, size);
    std::uint32_t flags = 0;
    if (options.dirty) flags |= ef::kFlagDirty;
    if (image.eofOffset < options.startOffset) flags |= ef::kFlagWrapped;
    ef::StoreU32(h + ef::kHeaderFlags, flags);
    ef::StoreU32(h + ef::kHeaderRetention, 0);
    ef::StoreU32(h + ef::kHeaderEndHeaderSize, ef::kHeaderSize);
    return image;
}

std::uint32_t StartOffsetSplitting(const std::vector<Record>& records, std::uint32_t fileSize,
                                   std::size_t index, std::uint32_t bytesBeforeWrap) {
    auto encoded = Encode(records, 1);
    std::uint64_t before = bytesBeforeWrap;
    for (std::size_t i = 0; i < index; ++i) before += encoded[i].size();
    if (before > fileSize - ef::kHeaderSize) Abort("cannot split there");
    return static_cast<std::uint32_t>(fileSize - before);
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool WriteLog(const std::string& path, const std::vector<Record>& records,
              const LogOptions& options) {
    return WriteFile(path, BuildLog(records, options).bytes);
}

}  // namespace evtwriter
