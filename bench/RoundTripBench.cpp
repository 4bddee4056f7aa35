// orvane-bench-roundtrip - a code-7 request and its reply between a client
// node in this process and a running OrvaneAgent (another process), against
// a raw Unix-socket ping-pong of the same frame sizes between two processes,
// measured in the same run; then the throughput of 1, 4 and 16 concurrent
// clients, each a node on a thread of its own.
//
// The agent runs without its ../log directory, so that the numbers are the
// messaging path's and not those of the disk commits of its log.
//
// Usage: orvane-bench-roundtrip [--count N] [--seconds S]
// Prints Markdown table rows: | benchmark | value | note |.
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <barrier>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "framework/Command.h"
#include "framework/MessageQueueLibrary.h"
#include "framework/ServiceNode.h"

namespace {

using bench::Clock;

constexpr const char* kAgentName = "OrvaneAgent";
constexpr std::int32_t kUnknownCommand = 7;
constexpr std::int32_t kUnknownCommandResult = 3;

void Row(const std::string& name, const std::string& value, const std::string& note = "") {
    std::printf("| %s | %s | %s |\n", name.c_str(), value.c_str(), note.c_str());
    std::fflush(stdout);
}

std::string NodeName(int index) {
    return "bench." + std::to_string(getpid()) + "." + std::to_string(index);
}

// The queue message of the request (and of its reply, names swapped): the
// 32-byte header, the two names and no items.
std::size_t MessageSize(const std::string& client) { return 32 + client.size() + 1 + std::strlen(kAgentName) + 1; }

// One code-7 round trip; false when the reply is not the expected one.
bool AskOnce(ServiceNode& node) {
    Command command(kUnknownCommand);
    command.SetRemoteName(kAgentName);
    command.SetTimeoutMs(10000);
    node.SendCommandAndWait(&command);
    return command.GetResult() == kUnknownCommandResult;
}

bool ReadFully(int fd, std::uint8_t* out, std::size_t n) {
    for (std::size_t done = 0; done < n;) {
        const ssize_t got = read(fd, out + done, n - done);
        if (got <= 0) return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool WriteFully(int fd, const std::uint8_t* bytes, std::size_t n) {
    for (std::size_t done = 0; done < n;) {
        const ssize_t put = write(fd, bytes + done, n - done);
        if (put <= 0) return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

// Ping-pong of frames of `size` bytes (a 4-byte length and the message, as
// the library frames it) with a child process that echoes each one.
std::vector<double> RawPingPong(std::size_t size, int count) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        std::perror("socketpair");
        std::exit(1);
    }
    const std::size_t frame = 4 + size;
    const pid_t child = fork();
    if (child == 0) {
        close(pair[0]);
        std::vector<std::uint8_t> buffer(frame);
        while (ReadFully(pair[1], buffer.data(), frame) && WriteFully(pair[1], buffer.data(), frame)) {
        }
        _exit(0);
    }
    close(pair[1]);
    std::vector<std::uint8_t> buffer(frame, 0x5a);
    std::vector<double> times;
    for (int i = 0; i < count + count / 10; ++i) {
        const Clock::time_point start = Clock::now();
        if (!WriteFully(pair[0], buffer.data(), frame) || !ReadFully(pair[0], buffer.data(), frame)) {
            std::fprintf(stderr, "bench: raw ping-pong failed\n");
            std::exit(1);
        }
        if (i >= count / 10) times.push_back(bench::SecondsSince(start));   // the first tenth warms up
    }
    close(pair[0]);
    waitpid(child, nullptr, 0);
    return times;
}

std::vector<double> NodeRoundTrips(int count) {
    ServiceNode node(NodeName(0).c_str(), 0, 1);
    if (!node.IsConnected()) {
        std::fprintf(stderr, "bench: cannot register a client node\n");
        std::exit(1);
    }
    std::vector<double> times;
    for (int i = 0; i < count + count / 10; ++i) {
        const Clock::time_point start = Clock::now();
        if (!AskOnce(node)) {
            std::fprintf(stderr, "bench: code-7 request not answered with result 3\n");
            std::exit(1);
        }
        if (i >= count / 10) times.push_back(bench::SecondsSince(start));
    }
    return times;
}

// Requests per second of `clients` threads asking in a loop for `seconds`.
double Throughput(int clients, double seconds) {
    std::atomic<long> done{0};
    std::atomic<bool> failed{false};
    std::barrier start(clients + 1);
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back([&, i] {
            ServiceNode node(NodeName(100 + i).c_str(), 0, 1);
            start.arrive_and_wait();
            long mine = 0;
            while (!stop.load() && node.IsConnected()) {
                if (!AskOnce(node)) {
                    failed.store(true);
                    break;
                }
                ++mine;
            }
            done += mine;
        });
    }
    start.arrive_and_wait();
    const Clock::time_point begin = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));   // the measured window
    stop.store(true);
    for (std::thread& thread : threads) thread.join();
    const double elapsed = bench::SecondsSince(begin);
    if (failed.load()) {
        std::fprintf(stderr, "bench: a concurrent request failed\n");
        std::exit(1);
    }
    return static_cast<double>(done.load()) / elapsed;
}

}  // namespace

int main(int argc, char** argv) {
    int count = 2000;
    double seconds = 2.0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--count") {
            count = std::max(10, std::atoi(argv[i + 1]));
        } else if (arg == "--seconds") {
            seconds = std::max(0.05, std::atof(argv[i + 1]));
        } else {
            std::fprintf(stderr, "usage: %s [--count N] [--seconds S]\n", argv[0]);
            return 2;
        }
    }
    const std::string binDir = bench::ExecutableDirectory();
    bench::TempDir dir("orvane-bench-rt");
    const std::string divize = dir.Path() + "/divize";
    bench::MakeDirectory(divize);
    chmod(divize.c_str(), 0700);
    const std::string evtDir = dir.Path() + "/evt";
    bench::MakeDirectory(evtDir);
    if (bench::RunChild({binDir + "/evt-gen", evtDir + "/System.evt", "10"}, {}, 60000) != 0) return 1;
    setenv("DIVIZE_DIR", divize.c_str(), 1);

    {
        bench::AgentProcess agent(binDir, dir.Path() + "/agent", divize, evtDir, false);
        const std::size_t size = MessageSize(NodeName(0));
        const std::vector<double> raw = RawPingPong(size, count);
        const std::vector<double> node = NodeRoundTrips(count);
        const double rawMedian = bench::Median(raw);
        const double nodeMedian = bench::Median(node);
        char ratio[32];
        std::snprintf(ratio, sizeof ratio, "%.2fx", nodeMedian / rawMedian);
        Row("round trip: raw Unix-socket ping-pong (" + std::to_string(size + 4) + " B frames)",
            bench::FormatDuration(rawMedian), "p99 " + bench::FormatDuration(bench::Percentile(raw, 0.99)));
        Row("round trip: code-7 request/reply via the message queue", bench::FormatDuration(nodeMedian),
            "p99 " + bench::FormatDuration(bench::Percentile(node, 0.99)) + "; median of " +
                std::to_string(node.size()));
        Row("round trip: message queue / raw socket", ratio, "target: within 3x");
        for (int clients : {1, 4, 16}) {
            char rate[32];
            std::snprintf(rate, sizeof rate, "%.0f req/s", Throughput(clients, seconds));
            Row("throughput: " + std::to_string(clients) + " concurrent client" + (clients > 1 ? "s" : ""),
                rate, "code 7, one agent");
        }
    }
    ShutdownMessageQueueLibrary();
    return 0;
}
