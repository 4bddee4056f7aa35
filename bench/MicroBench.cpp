// orvane-bench-micro - Google Benchmark cases for the pieces a request goes
// through: the packed Unicode encoder and decoder, ReportBuffer appends, and
// building and parsing queue messages.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Core/ReportBuffer.h"
#include "divize32/divize32.h"
#include "framework/Command.h"
#include "text/UnicodeStr.h"

namespace {

// A time text as the report carries it (ASCII: one byte a unit).
const char16_t kTimeText[] = u"Friday July 01 2005 11:00:00";
// Mixed: ASCII, two-byte and three-byte units.
const char16_t kMixedText[] = u"Gr\u00fc\u00dfe aus K\u00f6ln \u65e5\u672c\u8a9e \u0416\u0443\u043a";

void BM_PackedEncode(benchmark::State& state, const char16_t* text) {
    for (auto _ : state) {
        UnicodeStr packed(text);
        benchmark::DoNotOptimize(packed.GetText());
    }
}
BENCHMARK_CAPTURE(BM_PackedEncode, time_text, kTimeText);
BENCHMARK_CAPTURE(BM_PackedEncode, mixed_text, kMixedText);

void BM_PackedDecode(benchmark::State& state, const char16_t* text) {
    const UnicodeStr packed(text);
    std::vector<char16_t> out(packed.GetUnicode(nullptr, 0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(UnicodeStr::UnpackUnicode(packed.GetText(), out.data()));
        benchmark::ClobberMemory();
    }
}
BENCHMARK_CAPTURE(BM_PackedDecode, time_text, kTimeText);
BENCHMARK_CAPTURE(BM_PackedDecode, mixed_text, kMixedText);

// One report entry (code, computer name, time text), into a buffer that has
// reached its size already (the steady state after the first request).
void BM_ReportEntry(benchmark::State& state) {
    ReportBuffer buffer;
    for (auto _ : state) {
        if (buffer.GetLength() > (1u << 20)) buffer.Reset();
        buffer.AppendInt32(6005);
        buffer.AppendString(u"BENCHHOST");
        buffer.AppendString(kTimeText);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReportEntry);

// A whole report of N entries into a new buffer: growth included.
void BM_ReportFromNew(benchmark::State& state) {
    const auto entries = static_cast<int>(state.range(0));
    for (auto _ : state) {
        ReportBuffer buffer;
        buffer.AppendInt32(entries);
        for (int i = 0; i < entries; ++i) {
            buffer.AppendInt32(6005);
            buffer.AppendString(u"BENCHHOST");
            buffer.AppendString(kTimeText);
        }
        benchmark::DoNotOptimize(buffer.GetData());
    }
    state.SetItemsProcessed(state.iterations() * entries);
}
BENCHMARK(BM_ReportFromNew)->Arg(100)->Arg(1000)->Arg(10000);

void BM_AppendInt32(benchmark::State& state) {
    ReportBuffer buffer;
    for (auto _ : state) {
        if (buffer.GetLength() > (1u << 20)) buffer.Reset();
        buffer.AppendInt32(6005);
    }
}
BENCHMARK(BM_AppendInt32);

Command RequestWithItems(std::uint32_t itemBytes) {
    Command command(13);
    command.SetLocalName("orvane-query.12345");
    command.SetRemoteName("OrvaneAgent");
    if (itemBytes > 0) {
        std::vector<std::uint8_t> item(itemBytes, 0x41);
        command.AddParameter(item.data(), itemBytes);
    }
    return command;
}

void BM_BuildRequestMessage(benchmark::State& state) {
    Command command = RequestWithItems(static_cast<std::uint32_t>(state.range(0)));
    for (auto _ : state) {
        void* message = command.BuildRequestMessage();
        benchmark::DoNotOptimize(message);
        QueueMessageFree(message);
    }
}
BENCHMARK(BM_BuildRequestMessage)->Arg(0)->Arg(4096)->Arg(400000);

void BM_ParseRequest(benchmark::State& state) {
    Command request = RequestWithItems(static_cast<std::uint32_t>(state.range(0)));
    void* message = request.BuildRequestMessage();
    Command parsed(0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(parsed.ParseRequest(message));
    }
    QueueMessageFree(message);
}
BENCHMARK(BM_ParseRequest)->Arg(0)->Arg(4096)->Arg(400000);

// The agent's side of a reply: a report-sized item built into a reply
// message, and the client's side: that message parsed back.
void BM_ReplyRoundTrip(benchmark::State& state) {
    const auto bytes = static_cast<std::uint32_t>(state.range(0));
    std::vector<std::uint8_t> report(bytes, 0x41);
    Command request = RequestWithItems(0);
    void* requestMessage = request.BuildRequestMessage();
    for (auto _ : state) {
        Command incoming(0);
        incoming.ParseRequest(requestMessage);
        incoming.AddReply(report.data(), bytes);
        incoming.SetResult(0);
        void* reply = incoming.BuildReplyMessage();
        benchmark::DoNotOptimize(request.ParseReply(reply));
        QueueMessageFree(reply);
    }
    QueueMessageFree(requestMessage);
    state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_ReplyRoundTrip)->Arg(4096)->Arg(400000);

}  // namespace

BENCHMARK_MAIN();
