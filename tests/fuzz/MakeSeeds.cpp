// MakeSeeds.cpp - writes the seed corpus of the fuzz targets.
//
//   fuzz-make-seeds OUTDIR
//
// Writes OUTDIR/<target>/<name> for every target: small inputs made by the
// system's own writers (Command's message builders, UnicodeStr, the .evt
// test writer), a few of them spoiled on purpose. The checked-in corpus
// under tests/fuzz/corpus was made with it; run it again after a format
// change and review what changed.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "EvtWriter.h"
#include "divize32/divize32.h"
#include "framework/Command.h"
#include "framework/FrameworkTesting.h"
#include "framework/MessageFormat.h"
#include "text/UnicodeStr.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string g_out;

void Write(const std::string& target, const std::string& name, const Bytes& bytes) {
    const std::string dir = g_out + "/" + target;
    ::mkdir(dir.c_str(), 0755);
    if (!evtwriter::WriteFile(dir + "/" + name, bytes)) {
        std::fprintf(stderr, "cannot write %s/%s\n", dir.c_str(), name.c_str());
        std::exit(1);
    }
}

Bytes FromMessage(void* message) {
    const std::uint32_t total = wire::GetU32(message, wire::kTotalLength);
    const auto* p = static_cast<const std::uint8_t*>(message);
    Bytes bytes(p, p + total);
    QueueMessageFree(message);
    return bytes;
}

Bytes Text(std::uint8_t count, const std::string& text) {
    Bytes bytes{count};
    bytes.insert(bytes.end(), text.begin(), text.end());
    return bytes;
}

Bytes Units(std::uint8_t count, const std::u16string& units) {
    Bytes bytes{count};
    for (char16_t u : units) {
        bytes.push_back(static_cast<std::uint8_t>(u));
        bytes.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return bytes;
}

void MessageSeeds() {
    framework_testing::SetNextRequestSequence(0x01020304);
    Command request(13);
    request.SetLocalName("Client");
    request.SetRemoteName("FuzzMessageNode");
    Write("fuzz_message", "request-no-items", FromMessage(request.BuildRequestMessage()));
    request.AddParameter("abc", 3);
    request.AddParameter("", 0);
    request.AddParameter("\x01\x02\x03\x04\x05\x06\x07\x08", 8);
    const Bytes withItems = FromMessage(request.BuildRequestMessage());
    Write("fuzz_message", "request-three-items", withItems);

    Command reply(request);
    reply.SetResult(3);
    reply.AddReply("report", 6);
    reply.SetLocalName("FuzzMessageNode");
    reply.SetRemoteName("Client");
    Write("fuzz_message", "reply-one-item", FromMessage(reply.BuildReplyMessage()));

    SendAuthorizationCommand authorization(7);
    authorization.SetLocalName("Client");
    authorization.SetRemoteName("FuzzMessageNode");
    Write("fuzz_message", "authorization-request", FromMessage(authorization.BuildRequestMessage()));

    Bytes acknowledged = withItems;
    acknowledged[wire::kKind] = wire::kKindAckRequest;
    Write("fuzz_message", "ack-request", acknowledged);
    Bytes cut = withItems;
    cut.resize(cut.size() - 5);
    Write("fuzz_message", "items-cut-short", cut);
    Bytes longTable = withItems;
    wire::PutU16(longTable.data(), wire::kItemCount, 0x4000);
    Write("fuzz_message", "item-count-too-large", longTable);
    Write("fuzz_message", "header-only", Bytes(wire::kHeaderLength, 0));
}

void PackedSeeds() {
    const std::u16string samples[] = {
        u"HOST1", u"Friday July 01 2005 11:00:00", u"\u00e9\u20ac\u3fff\u4000\uffff",
        u"\xd83d\xde00", u"20050701110000"};
    int n = 0;
    for (const std::u16string& s : samples) {
        const UnicodeStr packed(s.c_str());
        Write("fuzz_packed", "packed-" + std::to_string(n), Text(255, packed.GetText()));
        Write("fuzz_packed", "units-" + std::to_string(n), Units(static_cast<std::uint8_t>(s.size() / 2), s));
        ++n;
    }
    Write("fuzz_packed", "dangling-continuation", Text(4, "\x44\x80"));
    Write("fuzz_packed", "five-byte-unit", Text(8, "\xff\xff\xff\xff\x0c\x44"));
    Write("fuzz_packed", "count-zero", Text(0, "\x44\x44"));
}

void Utf8Seeds() {
    Write("fuzz_utf8", "ascii", Text(255, "Hello"));
    Write("fuzz_utf8", "two-and-three-bytes", Text(255, "\xc3\xa9" "A" "\xe2\x82\xac"));
    Write("fuzz_utf8", "stray-continuation", Text(3, "\x80" "A" "\xbf"));
    Write("fuzz_utf8", "cut-sequence", Text(4, "A\xe2\x82"));
    Write("fuzz_utf8", "four-bytes", Text(4, "\xf0\x9f\x98\x80" "A"));
    Write("fuzz_utf8", "overlong-nul", Text(4, "\xc0\x80" "A"));
    Write("fuzz_utf8", "windows-1252", Text(1, "caf\xe9 \x80\x81\x9f\xff"));
}

SYSTEMTIME Time(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    SYSTEMTIME t{};
    t.wYear = year;
    t.wMonth = month;
    t.wDay = day;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    return t;
}

std::vector<evtwriter::Record> SampleRecords() {
    using evtwriter::RecordBuilder;
    const SYSTEMTIME noon = Time(2005, 7, 1, 12, 0, 0);
    return {RecordBuilder(6005).Time(1120219200).Computer(u"HOST1").Build(),
            RecordBuilder(6008)
                .Time(1120219300)
                .Strings({u"11:59:02 PM", u"7/4/2005"})
                .Data(evtwriter::SystemTimes(noon, noon))
                .Build(),
            RecordBuilder(6006).Time(1120219400).Source(u"Other").Build(),
            RecordBuilder(7036).Time(1120219500).Strings({u"service", u"running"}).Build()};
}

void RecordSeeds() {
    using evtwriter::RecordBuilder;
    namespace ef = eventlog_format;
    const SYSTEMTIME noon = Time(2005, 7, 1, 12, 0, 0);
    Bytes firstTime = evtwriter::SystemTimes(noon, noon);
    firstTime.resize(16);
    const std::vector<std::pair<std::string, evtwriter::Record>> records = {
        {"6005", RecordBuilder(6005).Time(1120219200).Computer(u"HOST1").Build()},
        {"6006-winter", RecordBuilder(6006).Time(1105790400).Build()},
        {"6005-high-bits", RecordBuilder(0x80001775u).Time(1120219200).Build()},
        {"6008-data-32", RecordBuilder(6008).Data(evtwriter::SystemTimes(noon, noon)).Build()},
        {"6008-data-16", RecordBuilder(6008).Data(firstTime).Build()},
        {"6008-strings", RecordBuilder(6008).Strings({u"11:59:02 PM", u"7/4/2005"}).Build()},
        {"6007", RecordBuilder(6007).Build()},
        {"6005-long-computer", RecordBuilder(6005).Computer(std::u16string(300, u'W')).Build()},
    };
    for (const auto& [name, fields] : records) Write("fuzz_record", name, ef::EncodeEventRecord(fields));
    Bytes cut = ef::EncodeEventRecord(records[3].second);
    cut.resize(70);
    Write("fuzz_record", "6008-cut", cut);
}

// The same logs serve the reader alone and the whole scan.
void WriteLogSeed(const std::string& name, const Bytes& bytes) {
    Write("fuzz_evtfile", name, bytes);
    Write("fuzz_scan", name, bytes);
}

void EvtFileSeeds() {
    namespace ef = eventlog_format;
    const std::vector<evtwriter::Record> records = SampleRecords();
    WriteLogSeed("empty", evtwriter::BuildLog({}, {}).bytes);
    WriteLogSeed("four-records", evtwriter::BuildLog(records, {}).bytes);

    evtwriter::LogOptions numbered;
    numbered.firstRecordNumber = 1000;
    WriteLogSeed("numbered-from-1000", evtwriter::BuildLog(records, numbered).bytes);

    evtwriter::LogOptions wrapped;
    wrapped.fileSize = 0x400;
    wrapped.startOffset = evtwriter::StartOffsetSplitting(records, wrapped.fileSize, 1, 40);
    WriteLogSeed("wrapped-split", evtwriter::BuildLog(records, wrapped).bytes);

    evtwriter::LogOptions filler;
    filler.fileSize = 0x400;
    filler.startOffset = 0x300;
    filler.fillBeforeRecord = 1;
    WriteLogSeed("wrapped-filler", evtwriter::BuildLog(records, filler).bytes);

    evtwriter::LogOptions dirty;
    dirty.dirty = true;
    dirty.headerRecordCount = 1;
    WriteLogSeed("dirty-header", evtwriter::BuildLog(records, dirty).bytes);

    evtwriter::LogImage damaged = evtwriter::BuildLog(records, {});
    damaged.bytes[damaged.recordOffsets[1] + ef::kRecordStringOffset] = 0xF0;
    WriteLogSeed("damaged-record", damaged.bytes);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz-make-seeds OUTDIR\n");
        return 2;
    }
    g_out = argv[1];
    ::mkdir(g_out.c_str(), 0755);
    MessageSeeds();
    PackedSeeds();
    Utf8Seeds();
    RecordSeeds();
    EvtFileSeeds();
    return 0;
}
