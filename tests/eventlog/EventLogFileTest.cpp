// Exported event-log files read through OpenEventLogW/ReadEventLogW with
// EVENTLOG_DIR set.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <random>

#include "EventLogTestSupport.h"
#include "EvtWriter.h"

namespace {

using namespace eventlog_test;

constexpr DWORD kSeekForwards = EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ;

class EventLogFileTest : public ::testing::Test {
protected:
    HANDLE Open(const char16_t* name = u"System") { return OpenEventLogW(nullptr, name); }
    std::string SystemPath() const { return dir_.File("System.evt"); }
    void Write(const std::vector<std::uint8_t>& bytes) {
        ASSERT_TRUE(evtwriter::WriteFile(SystemPath(), bytes));
    }

    ScratchDir dir_;
    ScopedEnv env_{"EVENTLOG_DIR", dir_.Path().c_str()};
};

// Records of assorted shapes: names, strings and data of varied sizes.
std::vector<evtwriter::Record> SampleRecords(std::size_t n) {
    std::vector<evtwriter::Record> records;
    for (std::size_t i = 0; i < n; ++i) {
        std::u16string text(i * 7 % 23, static_cast<char16_t>(u'a' + i % 26));
        std::vector<std::uint8_t> data(i * 5 % 19, static_cast<std::uint8_t>(i));
        records.push_back(evtwriter::RecordBuilder(static_cast<std::uint32_t>(6000 + i))
                              .Time(static_cast<std::uint32_t>(1120219200 + 60 * i))
                              .Computer(i % 2 ? u"HOST1" : u"A-LONGER-HOST-NAME")
                              .Strings({text, u"second"})
                              .Data(data)
                              .Build());
    }
    return records;
}

// Every record read back byte for byte as it was encoded.
void ExpectRecords(HANDLE log, const std::vector<evtwriter::Record>& records, DWORD first) {
    DWORD oldest = 0;
    DWORD count = 0;
    ASSERT_TRUE(GetOldestEventLogRecord(log, &oldest));
    ASSERT_TRUE(GetNumberOfEventLogRecords(log, &count));
    EXPECT_EQ(oldest, first);
    ASSERT_EQ(count, records.size());
    auto read = ReadAllBySeek(log);
    ASSERT_EQ(read.size(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        evtwriter::Record expected = records[i];
        expected.recordNumber = first + static_cast<DWORD>(i);
        ASSERT_TRUE(read[i].ok) << "record " << read[i].number << " error " << read[i].error;
        EXPECT_EQ(read[i].bytes, ef::EncodeEventRecord(expected)) << "record " << read[i].number;
    }
}

TEST_F(EventLogFileTest, ReadsTheRealApplicationLogCompletely) {
    const std::string real = ORVANE_APPEVENT_PATH;
    std::ifstream in(real, std::ios::binary);
    if (!in) GTEST_SKIP() << "the exported Application log is not at " << real;
    std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(::symlink(real.c_str(), dir_.File("Application.evt").c_str()), 0);

    // The truth from the file itself: its header was left dirty, so the
    // end-of-file record holds the numbers.
    ASSERT_TRUE(U32(file, ef::kHeaderFlags) & ef::kFlagDirty);
    std::size_t eof = 0;
    for (std::size_t at = ef::kHeaderSize; at + ef::kEofSize <= file.size(); at += 4) {
        if (ef::IsEofRecord(&file[at])) eof = at;
    }
    ASSERT_NE(eof, 0u);
    const DWORD current = U32(file, eof + ef::kEofCurrentRecordNumber);
    const DWORD first = U32(file, eof + ef::kEofOldestRecordNumber);
    EXPECT_GT(current, U32(file, ef::kHeaderCurrentRecordNumber)) << "the header is stale";

    HANDLE log = Open(u"Application");
    ASSERT_NE(log, nullptr) << GetLastError();
    DWORD oldest = 0;
    DWORD count = 0;
    ASSERT_TRUE(GetOldestEventLogRecord(log, &oldest));
    ASSERT_TRUE(GetNumberOfEventLogRecords(log, &count));
    EXPECT_EQ(oldest, first);
    EXPECT_EQ(count, current - first);

    const auto all = ReadAllBySeek(log);
    ASSERT_FALSE(all.empty());
    const std::u16string computer = ComputerName(all.front().bytes);
    EXPECT_FALSE(computer.empty());
    const std::uint32_t from2000 = 946684800u;
    const std::uint32_t to2030 = 1893456000u;
    for (const auto& r : all) {
        ASSERT_TRUE(r.ok) << "record " << r.number << " error " << r.error;
        ASSERT_EQ(U32(r.bytes, ef::kRecordLength), r.bytes.size());
        EXPECT_EQ(U32(r.bytes, r.bytes.size() - 4), r.bytes.size());
        EXPECT_EQ(U32(r.bytes, ef::kRecordReserved), ef::kSignature);
        EXPECT_EQ(U32(r.bytes, ef::kRecordNumber), r.number);
        EXPECT_GE(U32(r.bytes, ef::kRecordTimeGenerated), from2000);
        EXPECT_LT(U32(r.bytes, ef::kRecordTimeGenerated), to2030);
        EXPECT_GE(U32(r.bytes, ef::kRecordTimeWritten), U32(r.bytes, ef::kRecordTimeGenerated));
        EXPECT_FALSE(SourceName(r.bytes).empty());
        EXPECT_EQ(ComputerName(r.bytes), computer);
        EXPECT_EQ(Strings(r.bytes).size(), U16(r.bytes, ef::kRecordNumStrings));
    }

    EXPECT_TRUE(CloseEventLog(log));

    // Sequential forward reads with a large buffer return the same records,
    // several per call, then end-of-log.
    log = Open(u"Application");
    ASSERT_NE(log, nullptr);
    std::vector<std::uint8_t> buffer(0x10000);
    DWORD expectNumber = oldest;
    DWORD read = 0;
    DWORD needed = 0;
    while (ReadEventLogW(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(),
                         static_cast<DWORD>(buffer.size()), &read, &needed)) {
        for (DWORD at = 0; at < read; at += ef::LoadU32(&buffer[at])) {
            EXPECT_EQ(ef::LoadU32(&buffer[at + ef::kRecordNumber]), expectNumber++);
        }
    }
    EXPECT_EQ(GetLastError(), ERROR_HANDLE_EOF);
    EXPECT_EQ(expectNumber, current);
    EXPECT_TRUE(CloseEventLog(log));
}

// Layouts a writer produces, each read back completely.
struct LayoutCase {
    const char* name;
    std::size_t records;
    std::function<evtwriter::LogOptions(const std::vector<evtwriter::Record>&)> options;
};

constexpr std::uint32_t kRing = 0x800;   // file size of the wrapped cases

evtwriter::LogOptions SplitAt(const std::vector<evtwriter::Record>& r, std::size_t index,
                              std::uint32_t before) {
    evtwriter::LogOptions o;
    o.fileSize = kRing;
    o.startOffset = evtwriter::StartOffsetSplitting(r, kRing, index, before);
    return o;
}

const LayoutCase kLayouts[] = {
    {"plain", 12, [](const auto&) { return evtwriter::LogOptions{}; }},
    {"plain with unused space", 12,
     [](const auto&) {
         evtwriter::LogOptions o;
         o.fileSize = 0x10000;
         return o;
     }},
    {"numbers from 1000", 5,
     [](const auto&) {
         evtwriter::LogOptions o;
         o.firstRecordNumber = 1000;
         return o;
     }},
    {"wrapped, record starts right after the header", 12,
     [](const auto& r) { return SplitAt(r, 5, 0); }},
    {"wrapped, split inside the length field", 12, [](const auto& r) { return SplitAt(r, 5, 4); }},
    {"wrapped, split inside the fixed part", 12, [](const auto& r) { return SplitAt(r, 5, 24); }},
    {"wrapped, split inside the names", 12, [](const auto& r) { return SplitAt(r, 5, 60); }},
    {"wrapped, only the trailing length after the wrap", 12,
     [](const auto& r) {
         auto len = static_cast<std::uint32_t>(ef::EncodeEventRecord(r[5]).size());
         return SplitAt(r, 5, len - 4);
     }},
    {"wrapped, end of the file filled instead of a split", 12,
     [](const auto& r) {
         auto o = SplitAt(r, 5, 60);
         o.fillBeforeRecord = 5;
         return o;
     }},
    {"wrapped, end-of-file record split", 12,
     [](const auto& r) { return SplitAt(r, 12, 12); }},
    {"dirty header describing fewer records", 12,
     [](const auto&) {
         evtwriter::LogOptions o;
         o.dirty = true;
         o.headerRecordCount = 7;
         return o;
     }},
    {"dirty header describing no record, wrapped", 12,
     [](const auto& r) {
         auto o = SplitAt(r, 3, 28);
         o.dirty = true;
         o.headerRecordCount = 0;
         return o;
     }},
    {"empty", 0, [](const auto&) { return evtwriter::LogOptions{}; }},
};

TEST_F(EventLogFileTest, ReadsEveryLayout) {
    for (const auto& c : kLayouts) {
        SCOPED_TRACE(c.name);
        auto records = SampleRecords(c.records);
        auto options = c.options(records);
        Write(evtwriter::BuildLog(records, options).bytes);
        HANDLE log = Open();
        ASSERT_NE(log, nullptr) << GetLastError();
        if (records.empty()) {
            DWORD count = 99;
            EXPECT_TRUE(GetNumberOfEventLogRecords(log, &count));
            EXPECT_EQ(count, 0u);
            std::uint8_t buffer[64];
            DWORD read = 0;
            DWORD needed = 0;
            EXPECT_FALSE(ReadEventLogW(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0,
                                       buffer, sizeof buffer, &read, &needed));
            EXPECT_EQ(GetLastError(), ERROR_HANDLE_EOF);
        } else {
            ExpectRecords(log, records, options.firstRecordNumber);
        }
        EXPECT_TRUE(CloseEventLog(log));
    }
}

TEST_F(EventLogFileTest, RecordLargerThanTheBufferFailsWithTheSizeNeeded) {
    auto records = SampleRecords(3);
    records[1] = evtwriter::RecordBuilder(6005).Time(1120219200).PadTo(5000).Build();
    const auto big = static_cast<DWORD>(ef::EncodeEventRecord(records[1]).size());
    ASSERT_GE(big, 5000u);
    for (bool wrapped : {false, true}) {
        SCOPED_TRACE(wrapped ? "split at the wrap" : "plain");
        evtwriter::LogOptions options;
        if (wrapped) {
            options.fileSize = 0x2000;
            options.startOffset = evtwriter::StartOffsetSplitting(records, 0x2000, 1, 3000);
        }
        Write(evtwriter::BuildLog(records, options).bytes);
        HANDLE log = Open();
        ASSERT_NE(log, nullptr);
        auto read = ReadAllBySeek(log, 4096);
        ASSERT_EQ(read.size(), 3u);
        EXPECT_TRUE(read[0].ok);
        EXPECT_FALSE(read[1].ok);
        EXPECT_EQ(read[1].error, ERROR_INSUFFICIENT_BUFFER);
        EXPECT_EQ(read[1].needed, big);
        EXPECT_TRUE(read[2].ok) << "the record after the large one reads";

        std::vector<std::uint8_t> buffer(big);
        DWORD got = 0;
        DWORD needed = 0;
        ASSERT_TRUE(ReadEventLogW(log, kSeekForwards, 2, buffer.data(), big, &got, &needed));
        EXPECT_EQ(got, big);
        records[1].recordNumber = 2;
        EXPECT_EQ(buffer, ef::EncodeEventRecord(records[1]));
        CloseEventLog(log);
    }
}

TEST_F(EventLogFileTest, BadArgumentsAndHandlesFail) {
    auto records = SampleRecords(4);
    evtwriter::LogOptions options;
    options.firstRecordNumber = 10;
    Write(evtwriter::BuildLog(records, options).bytes);
    HANDLE log = Open();
    ASSERT_NE(log, nullptr);
    std::uint8_t buffer[4096];
    DWORD read = 0;
    DWORD needed = 0;
    struct Case {
        DWORD flags;
        DWORD number;
    };
    const Case outside[] = {{kSeekForwards, 0},  {kSeekForwards, 9},
                            {kSeekForwards, 14}, {kSeekForwards, 0xFFFFFFFF},
                            {EVENTLOG_SEEK_READ, 10},
                            {EVENTLOG_SEEK_READ | EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 10},
                            {kSeekForwards | EVENTLOG_BACKWARDS_READ, 10}};
    for (const auto& c : outside) {
        SCOPED_TRACE(testing::Message() << "flags " << c.flags << " number " << c.number);
        EXPECT_FALSE(ReadEventLogW(log, c.flags, c.number, buffer, sizeof buffer, &read, &needed));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(read, 0u);
    }
    EXPECT_TRUE(ReadEventLogW(log, kSeekForwards, 13, buffer, sizeof buffer, &read, &needed));

    EXPECT_EQ(OpenEventLogW(u"\\\\elsewhere", u"System"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    for (const char16_t* name : {u"", u"..", u"../System", u"a\\b"}) {
        EXPECT_EQ(OpenEventLogW(nullptr, name), nullptr);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }

    // CloseHandle closes it too; afterwards every call fails cleanly.
    EXPECT_TRUE(CloseHandle(log));
    DWORD value = 0;
    EXPECT_FALSE(GetNumberOfEventLogRecords(log, &value));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(GetOldestEventLogRecord(log, &value));
    EXPECT_FALSE(ReadEventLogW(log, kSeekForwards, 10, buffer, sizeof buffer, &read, &needed));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CloseEventLog(log));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(EventLogFileTest, MissingOrUnusableFileFailsTheOpen) {
    EXPECT_EQ(Open(), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    ASSERT_EQ(::mkdir(SystemPath().c_str(), 0700), 0);
    EXPECT_EQ(Open(), nullptr) << "a directory is not a log";
    ASSERT_EQ(::rmdir(SystemPath().c_str()), 0);

    ASSERT_EQ(::mkfifo(SystemPath().c_str(), 0600), 0);
    EXPECT_EQ(Open(), nullptr) << "a FIFO is not a log, and must not block the open";
    ASSERT_EQ(::unlink(SystemPath().c_str()), 0);

    if (::geteuid() != 0) {
        Write(evtwriter::BuildLog(SampleRecords(2), {}).bytes);
        ASSERT_EQ(::chmod(SystemPath().c_str(), 0), 0);
        EXPECT_EQ(Open(), nullptr);
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    }
}

TEST_F(EventLogFileTest, FileNameMatchesWithoutRegardToCase) {
    auto records = SampleRecords(2);
    ASSERT_TRUE(evtwriter::WriteLog(dir_.File("SYSTEM.EVT"), records, {}));
    HANDLE log = Open();
    ASSERT_NE(log, nullptr);
    ExpectRecords(log, records, 1);
    CloseEventLog(log);
}

// Damage done to a valid wrapped log of 6 records (record 3 split at the
// wrap). Each case says whether the open fails or which records become
// unreadable; nothing may crash or read outside the file (run under ASan).
struct Damage {
    const char* name;
    std::function<void(evtwriter::LogImage&)> apply;
    bool openFails;
    std::vector<DWORD> unreadable;
};

void Put32(evtwriter::LogImage& image, std::size_t at, std::uint32_t value) {
    // Positions inside records are ring offsets; wrap them like the file does.
    auto ring = [&](std::size_t p) {
        const std::size_t size = image.bytes.size();
        return p < size ? p : ef::kHeaderSize + (p - size);
    };
    for (std::size_t i = 0; i < 4; ++i) {
        image.bytes[ring(at + i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::size_t RecordAt(const evtwriter::LogImage& image, DWORD number) {
    return image.recordOffsets[number - 1];
}

const Damage kDamages[] = {
    {"bad header signature", [](auto& im) { Put32(im, ef::kHeaderSignature, 0x12345678); }, true, {}},
    {"bad header size", [](auto& im) { Put32(im, ef::kHeaderHeaderSize, 0x40); }, true, {}},
    {"bad version", [](auto& im) { Put32(im, ef::kHeaderMajorVersion, 2); }, true, {}},
    {"shorter than a header", [](auto& im) { im.bytes.resize(0x20); }, true, {}},
    {"empty file", [](auto& im) { im.bytes.clear(); }, true, {}},
    {"truncated before the end-of-file record",
     [](auto& im) { im.bytes.resize(RecordAt(im, 5) + 20); }, true, {}},
    {"end-of-file record destroyed", [](auto& im) { Put32(im, im.eofOffset + 4, 0); }, true, {}},
    {"end-of-file record's begin outside the file",
     [](auto& im) { Put32(im, im.eofOffset + ef::kEofBeginRecord, 0x7fffffff); }, true, {}},
    {"end-of-file record claims four billion records",
     [](auto& im) { Put32(im, im.eofOffset + ef::kEofCurrentRecordNumber, 0xFFFFFFFF); }, true, {}},
    {"header end offset wrong but clean: found by search",
     [](auto& im) { Put32(im, ef::kHeaderEndOffset, 0x31); }, false, {}},
    {"zero length", [](auto& im) { Put32(im, RecordAt(im, 2), 0); }, false, {2}},
    {"length far outside the file", [](auto& im) { Put32(im, RecordAt(im, 2), 0xFFFFFFF0); }, false, {2}},
    {"length one word too long", [](auto& im) { Put32(im, RecordAt(im, 2), im.recordLengths[1] + 4); },
     false, {2}},
    {"record signature", [](auto& im) { Put32(im, RecordAt(im, 4) + 4, 0); }, false, {4}},
    {"record number out of sequence", [](auto& im) { Put32(im, RecordAt(im, 3) + 8, 77); }, false, {3}},
    {"trailing length of the split record",
     [](auto& im) { Put32(im, RecordAt(im, 3) + im.recordLengths[2] - 4, 8); }, false, {3}},
    {"two damaged records in a row",
     [](auto& im) {
         Put32(im, RecordAt(im, 2), 0);
         Put32(im, RecordAt(im, 3) + 4, 0);
     },
     false, {2, 3}},
    {"data section outside the record",
     [](auto& im) { Put32(im, RecordAt(im, 5) + ef::kRecordDataOffset, 0x7ffffff0); }, false, {5}},
    {"data length past the record",
     [](auto& im) { Put32(im, RecordAt(im, 5) + ef::kRecordDataLength, 4000); }, false, {5}},
    {"strings offset outside the record",
     [](auto& im) { Put32(im, RecordAt(im, 1) + ef::kRecordStringOffset, 0xFFFFFF00); }, false, {1}},
    {"names without terminator",
     [](auto& im) {
         std::size_t at = RecordAt(im, 6);
         for (std::size_t i = ef::kRecordSourceName; i + 4 < im.recordLengths[5]; i += 4) {
             Put32(im, at + i, 0x00410041);
         }
     },
     false, {6}},
};

TEST_F(EventLogFileTest, DamagedFilesFailCleanly) {
    auto records = SampleRecords(6);
    evtwriter::LogOptions options;
    options.fileSize = 0x400;
    options.startOffset = evtwriter::StartOffsetSplitting(records, 0x400, 2, 40);
    for (const auto& d : kDamages) {
        SCOPED_TRACE(d.name);
        auto image = evtwriter::BuildLog(records, options);
        d.apply(image);
        Write(image.bytes);
        HANDLE log = Open();
        if (d.openFails) {
            EXPECT_EQ(log, nullptr);
            if (log) {
                CloseEventLog(log);
            } else {
                EXPECT_EQ(GetLastError(), ERROR_EVENTLOG_FILE_CORRUPT);
            }
            continue;
        }
        ASSERT_NE(log, nullptr) << GetLastError();
        auto read = ReadAllBySeek(log);
        ASSERT_EQ(read.size(), records.size());
        for (const auto& r : read) {
            bool damaged = std::find(d.unreadable.begin(), d.unreadable.end(), r.number) !=
                           d.unreadable.end();
            EXPECT_EQ(!r.ok, damaged) << "record " << r.number;
            if (!r.ok) {
                EXPECT_EQ(r.error, ERROR_EVENTLOG_FILE_CORRUPT) << "record " << r.number;
            }
        }
        CloseEventLog(log);
    }
}

TEST_F(EventLogFileTest, RandomlyCorruptedFilesNeverCrash) {
    auto records = SampleRecords(10);
    records[4] = evtwriter::RecordBuilder(6008).PadTo(600).Build();
    evtwriter::LogOptions options;
    options.fileSize = 0xC00;
    options.startOffset = evtwriter::StartOffsetSplitting(records, 0xC00, 4, 200);
    const auto pristine = evtwriter::BuildLog(records, options).bytes;
    std::mt19937 random(7);
    std::vector<std::uint8_t> buffer(4096);
    for (int round = 0; round < 300; ++round) {
        auto bytes = pristine;
        std::uniform_int_distribution<std::size_t> at(0, bytes.size() - 1);
        const int flips = 1 + round % 8;
        for (int i = 0; i < flips; ++i) {
            // Small values are the dangerous ones in a length or offset field.
            bytes[at(random)] = static_cast<std::uint8_t>(random() % 4 == 0 ? 0 : random());
        }
        if (round % 10 == 0) bytes.resize(at(random));
        Write(bytes);
        HANDLE log = Open();
        if (!log) continue;
        auto read = ReadAllBySeek(log);
        DWORD got = 0;
        DWORD needed = 0;
        while (ReadEventLogW(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0,
                             buffer.data(), 4096, &got, &needed)) {
        }
        CloseEventLog(log);
    }
}

TEST_F(EventLogFileTest, FileChangedUnderAnOpenHandleFailsReadsCleanly) {
    auto records = SampleRecords(8);
    Write(evtwriter::BuildLog(records, {}).bytes);

    // Truncated: records beyond the cut fail, those before still read.
    HANDLE log = Open();
    ASSERT_NE(log, nullptr);
    auto image = evtwriter::BuildLog(records, {});
    ASSERT_EQ(::truncate(SystemPath().c_str(), RecordAt(image, 5) + 10), 0);
    auto read = ReadAllBySeek(log);
    for (const auto& r : read) {
        EXPECT_EQ(r.ok, r.number < 5) << "record " << r.number;
        if (!r.ok) {
            EXPECT_EQ(r.error, ERROR_EVENTLOG_FILE_CORRUPT);
        }
    }
    CloseEventLog(log);

    // Overwritten in place with other contents: reads fail, never mislead.
    Write(evtwriter::BuildLog(records, {}).bytes);
    log = Open();
    ASSERT_NE(log, nullptr);
    {
        std::vector<std::uint8_t> zeros(image.bytes.size(), 0);
        std::FILE* f = std::fopen(SystemPath().c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        std::fwrite(zeros.data(), 1, zeros.size(), f);
        std::fclose(f);
    }
    for (const auto& r : ReadAllBySeek(log)) {
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, ERROR_EVENTLOG_FILE_CORRUPT);
    }
    CloseEventLog(log);

    // Replaced by another file: the open handle keeps reading the file it
    // opened.
    Write(evtwriter::BuildLog(records, {}).bytes);
    log = Open();
    ASSERT_NE(log, nullptr);
    ASSERT_TRUE(evtwriter::WriteLog(dir_.File("new.evt"), SampleRecords(2), {}));
    ASSERT_EQ(std::rename(dir_.File("new.evt").c_str(), SystemPath().c_str()), 0);
    ExpectRecords(log, records, 1);
    CloseEventLog(log);
}

TEST_F(EventLogFileTest, SequentialReadsWalkBothWaysAndFollowSeeks) {
    auto records = SampleRecords(5);
    Write(evtwriter::BuildLog(records, {}).bytes);
    HANDLE log = Open();
    ASSERT_NE(log, nullptr);
    std::vector<std::uint8_t> buffer(4096);
    // A buffer that holds one record only, to see one number per call.
    DWORD size = 0;
    DWORD smallest = 4096;
    for (const auto& r : records) {
        auto n = static_cast<DWORD>(ef::EncodeEventRecord(r).size());
        size = std::max(size, n);
        smallest = std::min(smallest, n);
    }
    ASSERT_LT(size, 2 * smallest);
    auto readOne = [&](DWORD flags, DWORD number) -> DWORD {
        DWORD got = 0;
        DWORD needed = 0;
        if (!ReadEventLogW(log, flags, number, buffer.data(), size, &got, &needed)) return 0;
        return ef::LoadU32(&buffer[ef::kRecordNumber]);
    };
    const DWORD back = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ;
    const DWORD fwd = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ;
    EXPECT_EQ(readOne(back, 0), 5u);
    EXPECT_EQ(readOne(back, 0), 4u);
    EXPECT_EQ(readOne(kSeekForwards, 2), 2u);
    EXPECT_EQ(readOne(fwd, 0), 3u) << "sequential reads continue after a seek";
    EXPECT_EQ(readOne(fwd, 0), 4u);
    EXPECT_EQ(readOne(fwd, 0), 5u);
    EXPECT_EQ(readOne(fwd, 0), 0u);
    EXPECT_EQ(GetLastError(), ERROR_HANDLE_EOF);
    CloseEventLog(log);
}

TEST_F(EventLogFileTest, GeneratedBenchmarkLogHoldsTenPercentQualifyingRecords) {
    const std::string path = SystemPath();
    const std::string command = std::string(ORVANE_EVT_GEN_PATH) + " " + path + " 20000";
    ASSERT_EQ(std::system(command.c_str()), 0);
    HANDLE log = Open();
    ASSERT_NE(log, nullptr);
    DWORD count = 0;
    ASSERT_TRUE(GetNumberOfEventLogRecords(log, &count));
    ASSERT_EQ(count, 20000u);
    int qualifying[3] = {};
    for (const auto& r : ReadAllBySeek(log)) {
        ASSERT_TRUE(r.ok);
        std::uint16_t code = U16(r.bytes, ef::kRecordEventId);
        if (code >= 6005 && code <= 6008 && code != 6007) ++qualifying[code == 6008 ? 2 : code - 6005];
    }
    EXPECT_EQ(qualifying[0] + qualifying[1] + qualifying[2], 2000);
    EXPECT_GT(qualifying[2], 600);
    CloseEventLog(log);
}

}  // namespace
