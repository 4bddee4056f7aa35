// The real OrvaneAgent and orvane-query as processes: start-up, shutdown on
// the quit message, and the availability report byte for byte with the
// time pinned by libfaketime and the zone by TZ.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "EvtWriter.h"
#include "Process.h"

namespace e2e {
namespace {

using namespace std::chrono_literals;

constexpr const char* kFakeTimeLibrary = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";

// The one-record HOST1 report in New York, summer: count 1, 6005, "HOST1",
// "Friday July 01 2005 11:00:00", then the agent's time (here without its
// last digits, which depend on how long the agent took to start).
const std::vector<std::uint8_t> kHost1Entries = {
    0x01, 0x00, 0x00, 0x00, 0x75, 0x17, 0x00, 0x00, 0x42, 0x4F, 0x5C, 0x51, 0x34, 0x00, 0x49,
    0x78, 0x66, 0x61, 0x64, 0x76, 0x20, 0x4A, 0x75, 0x63, 0x76, 0x20, 0x30, 0x34, 0x20, 0x38,
    0x30, 0x30, 0x35, 0x20, 0x34, 0x34, 0x3A, 0x30, 0x30, 0x3A, 0x30, 0x30, 0x00};

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Unpacks an all-ASCII packed text (one byte per character).
std::string UnpackAscii(const std::string& packed) {
    std::string text;
    for (unsigned char b : packed) {
        text += static_cast<char>(((b >> 2) & 3) | ((b & 3) << 2) | (b & 0x70));
    }
    return text;
}

class AgentEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orvane-e2e.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        for (const char* dir : {"work", "log", "evt", "divize"}) std::filesystem::create_directory(root_ / dir);
        std::filesystem::permissions(root_ / "divize", std::filesystem::perms::owner_all);
        setenv("DIVIZE_DIR", (root_ / "divize").c_str(), 1);
    }

    void TearDown() override {
        agent_.reset();
        unsetenv("DIVIZE_DIR");
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    // Starts the agent in work/ (or `workingDirectory`), optionally with the
    // clock starting at `fakeNow`.
    void StartAgent(std::optional<std::int64_t> fakeNow = std::nullopt,
                    std::filesystem::path program = BinaryDirectory() / "OrvaneAgent",
                    std::filesystem::path workingDirectory = {}) {
        ProcessOptions options;
        options.argv = {program.string()};
        options.workingDirectory = workingDirectory.empty() ? root_ / "work" : workingDirectory;
        options.environment["EVENTLOG_DIR"] = (root_ / "evt").string();
        options.environment["TZ"] = "America/New_York";
        if (fakeNow) {
            options.environment["LD_PRELOAD"] = kFakeTimeLibrary;
            options.environment["FAKETIME"] = "@" + std::to_string(*fakeNow);
            options.environment["FAKETIME_FMT"] = "%s";
            options.environment["FAKETIME_DONT_FAKE_MONOTONIC"] = "1";
            const char* asan = std::getenv("ASAN_OPTIONS");
            options.environment["ASAN_OPTIONS"] =
                std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0";
        }
        agent_ = std::make_unique<Process>(options);
        ASSERT_TRUE(agent_->Started());
    }

    // Runs orvane-query with the arguments; returns its exit status.
    int Query(std::vector<std::string> arguments, std::string* output = nullptr) {
        ProcessOptions options;
        options.argv = {(BinaryDirectory() / "orvane-query").string()};
        options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
        options.captureOutput = true;
        Process query(options);
        const auto status = query.Wait(60s);
        if (output != nullptr) *output = query.Output();
        return status.value_or(-1);
    }

    // Waits until the agent's node answers (result 3 for code 7).
    bool WaitUntilServing() {
        for (int attempt = 0; attempt < 200; ++attempt) {
            if (Query({"--code", "7", "--timeout", "2000"}) == 1) return true;
            if (!agent_->Running()) return false;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    std::optional<int> StopAgent() {
        agent_->Signal(SIGTERM);
        return agent_->Wait(30s);
    }

    void WriteHost1Log() {
        ASSERT_TRUE(evtwriter::WriteLog((root_ / "evt" / "System.evt").string(),
                                        {evtwriter::RecordBuilder(6005).Time(1120219200).Computer(u"HOST1").Build()},
                                        {}));
    }

    std::filesystem::path root_;
    std::unique_ptr<Process> agent_;
};

TEST_F(AgentEndToEndTest, StartsRegistersAndQuitsOnTheQuitMessage) {
    WriteHost1Log();
    StartAgent();
    ASSERT_TRUE(WaitUntilServing());
    EXPECT_TRUE(std::filesystem::exists(root_ / "divize" / "OrvaneAgent.sock"));

    const std::string log = ReadFile(root_ / "log" / "OrvaneAgent.log");
    const std::string firstLine = log.substr(0, log.find('\n') + 1);
    const std::string prefix = "Starting, file is open!Before WSAStartup!in else WSAStartuphostName=";
    EXPECT_EQ(firstLine.rfind(prefix, 0), 0u) << firstLine;
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    EXPECT_EQ(firstLine, prefix + host + "\n");
    EXPECT_EQ(log.substr(firstLine.size()).rfind(
                  "in else WSAStartup, after WSACleanupin Initin Init, after sLock createin Init, after "
                  "sLock.lockin Init, in if IsLockedin Init, after unlockin Init, return=> [",
                  0),
              0u)
        << log;

    EXPECT_EQ(StopAgent(), 0);
    const std::string final = ReadFile(root_ / "log" / "OrvaneAgent.log");
    const std::string ending = "Finished processing commands\n";
    ASSERT_GE(final.size(), ending.size());
    EXPECT_EQ(final.substr(final.size() - ending.size()), ending);
    EXPECT_FALSE(std::filesystem::exists(root_ / "divize" / "OrvaneAgent.sock"));

    // A second start truncates the log.
    StartAgent();
    ASSERT_TRUE(WaitUntilServing());
    EXPECT_EQ(StopAgent(), 0);
    const std::string second = ReadFile(root_ / "log" / "OrvaneAgent.log");
    EXPECT_EQ(second.find("Finished processing commands\n"), second.size() - ending.size());
}

TEST_F(AgentEndToEndTest, WorkedExampleReportIsByteExactInSummerAndWinter) {
    if (!std::filesystem::exists(kFakeTimeLibrary)) GTEST_SKIP() << "libfaketime is not installed";
    WriteHost1Log();
    struct Season {
        std::int64_t now;
        const char* digits;  // the agent's time, UTC minus one hour while daylight saving is on
    };
    for (const Season season : {Season{1120219200, "20050701110000"}, Season{1105790400, "20050115120000"}}) {
        SCOPED_TRACE(season.digits);
        StartAgent(season.now);
        ASSERT_TRUE(WaitUntilServing());
        std::string raw;
        ASSERT_EQ(Query({"--raw"}, &raw), 0);
        ASSERT_EQ(raw.size(), 58u);
        EXPECT_EQ(std::vector<std::uint8_t>(raw.begin(), raw.begin() + 43), kHost1Entries);
        EXPECT_EQ(raw.back(), '\0');
        // The agent's clock has run on from the pinned instant since it started.
        const std::string digits = UnpackAscii(raw.substr(43, 14));
        EXPECT_EQ(digits.substr(0, 10), std::string(season.digits).substr(0, 10)) << digits;
        EXPECT_LT(std::stoll(digits.substr(10)), std::stoll(std::string(season.digits).substr(10)) + 200) << digits;

        std::string table;
        ASSERT_EQ(Query({}, &table), 0);
        EXPECT_NE(table.find("6005    started              HOST1     Friday July 01 2005 11:00:00\n"),
                  std::string::npos)
            << table;
        EXPECT_EQ(StopAgent(), 0);
    }
}

TEST_F(AgentEndToEndTest, RunsWithoutALogDirectory) {
    WriteHost1Log();
    std::filesystem::remove_all(root_ / "log");
    StartAgent();
    ASSERT_TRUE(WaitUntilServing());
    std::string json;
    EXPECT_EQ(Query({"--json"}, &json), 0);
    EXPECT_NE(json.find("\"computer\":\"HOST1\""), std::string::npos) << json;
    EXPECT_EQ(StopAgent(), 0);
    EXPECT_FALSE(std::filesystem::exists(root_ / "log"));
}

TEST_F(AgentEndToEndTest, LibraryWithoutARequiredEntryEndsTheProcess) {
    // A copy of the program beside a message-queue library that lacks
    // DeleteSvcNode: the program starts (the load-time entries are there),
    // the binding fails, and the node is never created.
    const std::filesystem::path bin = root_ / "bin";
    std::filesystem::create_directory(bin);
    std::filesystem::copy_file(BinaryDirectory() / "OrvaneAgent", bin / "OrvaneAgent");
    std::filesystem::copy_file(BinaryDirectory() / "libdozivo32.so", bin / "libdozivo32.so");
    std::filesystem::copy_file(BinaryDirectory() / "variants" / "nodelete" / "libdivize32.so",
                               bin / "libdivize32.so");
    std::filesystem::create_directory(bin / "work");
    std::filesystem::create_directory(bin / "log");

    StartAgent(std::nullopt, bin / "OrvaneAgent", bin / "work");
    EXPECT_EQ(agent_->Wait(30s), 1);
    const std::string log = ReadFile(bin / "log" / "OrvaneAgent.log");
    EXPECT_NE(log.find("in Init, return"), std::string::npos) << log;
    EXPECT_EQ(log.find("Finished processing commands"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(root_ / "divize" / "OrvaneAgent.sock"));
}

TEST_F(AgentEndToEndTest, MissingMessageQueueLibraryStopsTheProgramFromStarting) {
    const std::filesystem::path bin = root_ / "bin";
    std::filesystem::create_directory(bin);
    std::filesystem::copy_file(BinaryDirectory() / "OrvaneAgent", bin / "OrvaneAgent");
    std::filesystem::copy_file(BinaryDirectory() / "libdozivo32.so", bin / "libdozivo32.so");
    StartAgent(std::nullopt, bin / "OrvaneAgent", root_ / "work");
    const auto status = agent_->Wait(30s);
    ASSERT_TRUE(status.has_value());
    EXPECT_NE(*status, 0);
    EXPECT_FALSE(std::filesystem::exists(root_ / "log" / "OrvaneAgent.log"));
}

TEST_F(AgentEndToEndTest, QueryExitStatuses) {
    WriteHost1Log();
    EXPECT_EQ(Query({"--target", "nobody"}), 4);
    EXPECT_EQ(Query({"--code"}), 2);
    StartAgent();
    ASSERT_TRUE(WaitUntilServing());
    std::string text;
    EXPECT_EQ(Query({"--code", "7"}, &text), 1);
    EXPECT_NE(text.find("result: 3"), std::string::npos) << text;
    EXPECT_EQ(StopAgent(), 0);
}

}  // namespace
}  // namespace e2e
