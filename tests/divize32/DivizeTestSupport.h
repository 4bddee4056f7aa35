// DivizeTestSupport.h - fixtures for the message-queue library's tests: a
// private endpoint directory per test, a recording node callback, the peer
// process and raw socket access to an endpoint.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace divize_test {

using namespace std::chrono_literals;

// Generous bound for anything that has to cross the library's threads.
inline constexpr std::chrono::milliseconds kPatience = 20s;

struct Received {
    std::string source;
    std::string target;
    std::uint8_t kind;
    std::int32_t code;
    std::uint32_t sequence;
};

// A node's context: records what the library delivers. Thread-safe.
class Recorder {
public:
    static std::int32_t Callback(void* context, void* message, std::uint32_t value);

    // Runs inside the callback for each message, before it is recorded.
    std::function<void(const void* message)> onMessage;

    bool WaitForMessages(std::size_t count, std::chrono::milliseconds patience = kPatience);
    bool WaitForTicks(std::size_t count, std::chrono::milliseconds patience = kPatience);
    std::vector<Received> Messages();
    std::vector<std::uint32_t> Ticks();
    std::size_t CallCount();

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Received> messages_;
    std::vector<std::uint32_t> ticks_;
};

// Each test gets its own endpoint directory (DIVIZE_DIR, not yet created)
// and a started library, stopped again afterwards.
class DivizeTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string SocketPath(const std::string& encodedStem) const;
    // Sends a request with the given sequence; true when accepted.
    static bool Send(const std::string& source, const std::string& target, std::uint32_t sequence);

    std::string root_;         // private temporary directory
    std::string endpointDir_;  // root_/ep, the library's DIVIZE_DIR
};

// The peer program (divize32_peer next to the test binary), with its
// standard input and output on pipes. Killed and reaped on destruction.
class Peer {
public:
    explicit Peer(const std::vector<std::string>& arguments);
    ~Peer();
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    // The next line of output without its newline; "" on end or timeout.
    std::string ReadLine(std::chrono::milliseconds patience = kPatience);
    void CloseInput();
    void Kill();
    // Exit code, or -1 when the peer died of a signal or did not end in time.
    int Wait(std::chrono::milliseconds patience = kPatience);

private:
    int pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::string buffered_;
};

// Directory of the running test binary.
std::string ExecutableDirectory();

// Raw access to an endpoint, as a hostile local peer would have it.
int ConnectRaw(const std::string& socketPath);
bool WriteAll(int fd, const void* data, std::size_t length);
// True when the other side closes the stream within the patience.
bool WaitForClose(int fd, std::chrono::milliseconds patience = kPatience);

}  // namespace divize_test
