// orvane-bench-scan - cost and growth of one availability request (code 13),
// end to end through orvane-query --raw, against baselines measured in the
// same run, and the agent's memory while it scans.
//
// For each log size N a System log is generated with evt-gen. Baselines:
//   read once      the file read front to back in 64 KiB chunks (cached);
//   design floor   what the scan's access pattern costs by itself: two
//                  passes, each one read call per record into a fresh
//                  4096-byte block (a read fills the block with as many
//                  whole records as fit, as the event-log read does).
// The agent runs twice: without its ../log directory (no log is written)
// and with it (every flush commits to disk); the difference is the cost of
// writing the log. A code-7 request (answered at once) gives the fixed cost
// of a query process.
//
// Usage: orvane-bench-scan [--sizes N,N,...] [--reps R] [--log-reps L] [--log on|off]
// Prints Markdown table rows: | benchmark | value | note |.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "BenchSupport.h"

namespace {

using bench::Clock;

struct Options {
    std::vector<unsigned long> sizes{1000, 10000, 100000};
    int reps = 5;
    int logReps = 1;
    bool withLog = true;
};

void Row(const std::string& name, const std::string& value, const std::string& note = "") {
    std::printf("| %s | %s | %s |\n", name.c_str(), value.c_str(), note.c_str());
    std::fflush(stdout);
}

std::string Ratio(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2fx", value);
    return text;
}

std::string Kb(long kb) { return std::to_string(kb) + " KiB"; }

// Offsets of the records of a log written front to back (no wrap): the
// 48-byte header, then records, each starting with its length and the
// signature "LfLe", up to the end-of-file record.
std::vector<std::uint32_t> RecordOffsets(const std::vector<std::uint8_t>& file) {
    std::vector<std::uint32_t> offsets;
    std::size_t at = 48;
    while (at + 8 <= file.size() && std::memcmp(&file[at + 4], "LfLe", 4) == 0) {
        std::uint32_t length;
        std::memcpy(&length, &file[at], 4);
        if (length < 56 || at + length > file.size()) break;
        offsets.push_back(static_cast<std::uint32_t>(at));
        at += length;
    }
    return offsets;
}

std::vector<std::uint8_t> ReadWhole(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return bytes;
    std::uint8_t chunk[65536];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n <= 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    close(fd);
    return bytes;
}

double SequentialRead(const std::string& path) {
    const Clock::time_point start = Clock::now();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    static std::uint8_t chunk[65536];
    std::uint64_t sum = 0;
    while (fd >= 0) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n <= 0) break;
        sum += chunk[0];
    }
    if (fd >= 0) close(fd);
    const double elapsed = bench::SecondsSince(start);
    if (sum == 1) std::fputc(' ', stderr);   // keeps the loop
    return elapsed;
}

double DesignFloor(const std::string& path, const std::vector<std::uint32_t>& offsets) {
    const Clock::time_point start = Clock::now();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::uint64_t sum = 0;
    for (int pass = 0; pass < 2 && fd >= 0; ++pass) {
        for (std::uint32_t offset : offsets) {
            auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(4096);
            if (pread(fd, buffer.get(), 4096, offset) > 0) sum += buffer[0];
        }
    }
    if (fd >= 0) close(fd);
    const double elapsed = bench::SecondsSince(start);
    if (sum == 1) std::fputc(' ', stderr);
    return elapsed;
}

template <class F>
double MedianOf(int reps, F f) {
    std::vector<double> times;
    for (int i = 0; i < reps; ++i) times.push_back(f());
    return bench::Median(times);
}

class Querier {
public:
    Querier(std::string binDir, std::string divizeDir, std::string outputPath)
        : binDir_(std::move(binDir)), divizeDir_(std::move(divizeDir)), output_(std::move(outputPath)) {}

    // Seconds for one orvane-query run; exits the benchmark on a wrong status.
    double Time(int code) {
        bench::ChildOptions options;
        options.environment = {"DIVIZE_DIR=" + divizeDir_};
        options.discardOutput = false;
        const std::vector<std::string> argv = {"/bin/sh", "-c",
                                               "exec \"$0\" --raw --timeout 600000 --code \"$1\" >\"$2\" 2>/dev/null",
                                               binDir_ + "/orvane-query", std::to_string(code), output_};
        const Clock::time_point start = Clock::now();
        const int status = bench::RunChild(argv, options, 900000);
        const double elapsed = bench::SecondsSince(start);
        const int expected = code == 13 ? 0 : 1;
        if (status != expected) {
            std::fprintf(stderr, "bench: orvane-query --code %d ended with %d\n", code, status);
            std::exit(1);
        }
        return elapsed;
    }
    long OutputBytes() const {
        struct stat st {};
        return stat(output_.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
    }

private:
    std::string binDir_;
    std::string divizeDir_;
    std::string output_;
};

struct Measured {
    double query7 = 0;     // fixed cost of a query process
    double first = 0;      // first code-13 request
    double request = 0;    // median code-13 request after the first
    long idleKb = 0;
    long peakKb = 0;
    long hwmKb = 0;
    long reportBytes = 0;
};

Measured RunAgent(const std::string& binDir, const bench::TempDir& dir, const std::string& evtDir,
                  bool withLog, int reps) {
    const std::string root = dir.Path() + (withLog ? "/with-log" : "/no-log");
    const std::string divize = dir.Path() + "/divize";
    bench::MakeDirectory(divize);
    chmod(divize.c_str(), 0700);
    Measured m;
    bench::AgentProcess agent(binDir, root, divize, evtDir, withLog);
    Querier query(binDir, divize, dir.Path() + "/reply.bin");
    query.Time(7);   // warms the query path up
    m.query7 = MedianOf(reps, [&] { return query.Time(7); });
    m.idleKb = bench::StatusKb(agent.Pid(), "VmRSS");
    {
        bench::MemorySampler sampler(agent.Pid());
        // With the log, writing it outweighs everything the first request
        // does more than the others: every request counts.
        if (!withLog) m.first = query.Time(13);
        m.request = MedianOf(reps, [&] { return query.Time(13); });
        m.peakKb = sampler.PeakKb();
    }
    m.hwmKb = bench::StatusKb(agent.Pid(), "VmHWM");
    m.reportBytes = query.OutputBytes();
    return m;
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return false;
        const std::string value = argv[++i];
        if (arg == "--sizes") {
            options.sizes.clear();
            std::stringstream list(value);
            std::string item;
            while (std::getline(list, item, ',')) options.sizes.push_back(std::strtoul(item.c_str(), nullptr, 10));
        } else if (arg == "--reps") {
            options.reps = std::max(1, std::atoi(value.c_str()));
        } else if (arg == "--log") {
            options.withLog = value != "off";
        } else if (arg == "--log-reps") {
            options.logReps = std::max(1, std::atoi(value.c_str()));
        } else {
            return false;
        }
    }
    return !options.sizes.empty();
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: %s [--sizes N,N,...] [--reps R] [--log-reps L] [--log on|off]\n", argv[0]);
        return 2;
    }
    const std::string binDir = bench::ExecutableDirectory();
    bench::TempDir dir("orvane-bench-scan");

    std::map<unsigned long, Measured> noLog;
    std::map<unsigned long, Measured> withLog;
    for (unsigned long n : options.sizes) {
        const std::string evtDir = dir.Path() + "/evt" + std::to_string(n);
        bench::MakeDirectory(evtDir);
        const std::string evt = evtDir + "/System.evt";
        if (bench::RunChild({binDir + "/evt-gen", evt, std::to_string(n)}, {}, 600000) != 0) {
            std::fprintf(stderr, "bench: evt-gen failed\n");
            return 1;
        }
        const std::vector<std::uint8_t> file = ReadWhole(evt);   // also brings it into the cache
        const std::vector<std::uint32_t> offsets = RecordOffsets(file);
        if (offsets.size() != n) {
            std::fprintf(stderr, "bench: expected %lu records, found %zu\n", n, offsets.size());
            return 1;
        }
        const double dn = static_cast<double>(n);
        const std::string tag = "N=" + std::to_string(n);
        const double seq = MedianOf(options.reps, [&] { return SequentialRead(evt); });
        const double floor = MedianOf(options.reps, [&] { return DesignFloor(evt, offsets); });
        Row("scan " + tag + ": log file", std::to_string(file.size() / 1024) + " KiB",
            std::to_string(n / 10) + " qualifying records");
        Row("scan " + tag + ": baseline, file read once", bench::FormatDuration(seq),
            bench::FormatDuration(seq / dn) + "/record");
        Row("scan " + tag + ": baseline, design floor (2N reads of 4096 B)", bench::FormatDuration(floor),
            bench::FormatDuration(floor / dn) + "/record");

        const Measured a = RunAgent(binDir, dir, evtDir, false, options.reps);
        noLog[n] = a;
        const double scan = a.request - a.query7;
        const std::string perRecord = scan > 0 ? bench::FormatDuration(scan / dn) + "/record" : "within noise";
        Row("scan " + tag + ": request, no log written", bench::FormatDuration(a.request),
            perRecord + " beyond the " + bench::FormatDuration(a.query7) +
                " of a code-7 query; first request " + bench::FormatDuration(a.first));
        Row("scan " + tag + ": request / file read once", Ratio(a.request / seq), "");
        Row("scan " + tag + ": request / design floor", Ratio(a.request / floor),
            "scan alone (less the code-7 query): " + Ratio(scan / floor));

        Row("scan " + tag + ": report", std::to_string(a.reportBytes) + " B", "");
        Row("memory " + tag + ": agent idle / peak while scanning",
            Kb(a.idleKb) + " / " + Kb(a.peakKb),
            "VmHWM " + Kb(a.hwmKb) + "; growth " + Kb(a.peakKb - a.idleKb) + " for a " +
                std::to_string(a.reportBytes / 1024) + " KiB report and a " +
                std::to_string(file.size() / 1024) + " KiB log");
        if (!options.withLog) continue;
        const Measured b = RunAgent(binDir, dir, evtDir, true, options.logReps);
        withLog[n] = b;
        Row("scan " + tag + ": request, log written", bench::FormatDuration(b.request),
            "log writing " + bench::FormatDuration(b.request - a.request) + " (" +
                bench::FormatDuration((b.request - a.request) / dn) + "/record); everything else " +
                bench::FormatDuration(a.request));
    }
    // Growth: each size against the previous one.
    for (std::size_t i = 1; i < options.sizes.size(); ++i) {
        const unsigned long lo = options.sizes[i - 1];
        const unsigned long hi = options.sizes[i];
        const double expected = static_cast<double>(hi) / static_cast<double>(lo);
        const Measured& a = noLog[lo];
        const Measured& b = noLog[hi];
        Row("growth time(" + std::to_string(hi) + ")/time(" + std::to_string(lo) + "), no log",
            Ratio(b.request / a.request),
            "linear: " + Ratio(expected) + "; scan alone " +
                Ratio((b.request - b.query7) / (a.request - a.query7)));
        if (!options.withLog) continue;
        Row("growth time(" + std::to_string(hi) + ")/time(" + std::to_string(lo) + "), log written",
            Ratio(withLog[hi].request / withLog[lo].request), "linear: " + Ratio(expected));
    }
    return 0;
}
