// Faults around a running agent: the agent killed mid-scan and restarted,
// clients that die or freeze while it answers them, its log directory, its
// System log and its endpoint directory pulled away under it.
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>

#include "FaultSupport.h"

namespace fault_test {
namespace {

namespace fs = std::filesystem;
using AgentFaultTest = AgentTest;

const std::string kReportAnswered = "Processed command code Orvane_COMMAND_ID\n";

TEST_F(AgentFaultTest, KilledMidScanThenRestartedTakesOverItsNameAndAnswers) {
    ASSERT_TRUE(WriteMixedLog(sandbox_->SystemLogPath(), 200000));
    auto agent = StartAgent({{"ASAN_OPTIONS", "detect_leaks=0"}});
    auto waiting = StartQuery({"--timeout", "5000"});
    ASSERT_TRUE(WaitForLog("Number of records = 200000\n"));
    // Frozen first, so that the log tells whether the scan was still on.
    ASSERT_TRUE(Freeze(agent->Pid()));
    const bool midScan = AgentLog().find(kReportAnswered) == std::string::npos;
    agent->Signal(SIGKILL);
    EXPECT_EQ(agent->Wait(), -SIGKILL);
    RecordProperty("killed_mid_scan", midScan ? "yes" : "no");
    std::cout << "[ figures  ] killed in the middle of the scan: " << (midScan ? "yes" : "no") << "\n";

    // The client's own timeout ends its wait; it does not hang on a dead node.
    const int waited = waiting->Wait();
    EXPECT_TRUE(waited == 3 || (waited == 0 && !midScan)) << waited;
    EXPECT_TRUE(fs::exists(sandbox_->EndpointDirectory() + "/OrvaneAgent.sock")) << "SIGKILL leaves the endpoint";
    EXPECT_EQ(Query({"--code", "7", "--timeout", "3000"}).status, 4) << "a stale endpoint is no node";

    ASSERT_TRUE(WriteAvailabilityLog(sandbox_->SystemLogPath(), 30));
    auto restarted = StartAgent();
    const RunResult report = Query({});
    EXPECT_EQ(report.status, 0) << report.output;
    EXPECT_NE(report.output.find("items: 1\n"), std::string::npos) << report.output;
    StopAgentCleanly(*restarted);
}

TEST_F(AgentFaultTest, ClientKilledWhileWaitingLeavesTheAgentServing) {
    ASSERT_TRUE(WriteAvailabilityLog(sandbox_->SystemLogPath(), 600));
    auto agent = StartAgent();
    auto waiting = StartQuery({"--timeout", "60000"}, {{"ASAN_OPTIONS", "detect_leaks=0"}});
    ASSERT_TRUE(WaitForLog("Number of records = 600\n"));
    // With the agent frozen mid-scan, the client is certainly still waiting.
    ASSERT_TRUE(Freeze(agent->Pid()));
    const bool midScan = AgentLog().find(kReportAnswered) == std::string::npos;
    waiting->Signal(SIGKILL);
    const int killed = waiting->Wait();
    EXPECT_TRUE(killed == -SIGKILL || (!midScan && killed == 0)) << killed;
    agent->Signal(SIGCONT);
    // The scan ends and the reply goes to a node that no longer exists.
    ASSERT_TRUE(WaitForLog(kReportAnswered));
    EXPECT_EQ(Query({"--code", "7"}).status, 1);
    const RunResult report = Query({});
    EXPECT_EQ(report.status, 0) << report.output;
    StopAgentCleanly(*agent);
}

// A reply far bigger than a socket buffer to a client that freezes (SIGSTOP)
// and then dies with the message half sent: other clients are answered all
// along, and the agent survives the broken connection.
TEST_F(AgentFaultTest, ClientFrozenThenKilledWithItsReplyHalfSent) {
    ASSERT_TRUE(WriteAvailabilityLog(sandbox_->SystemLogPath(), 1500, 250));
    auto agent = StartAgent();
    auto frozen = StartQuery({"--timeout", "60000"}, {{"ASAN_OPTIONS", "detect_leaks=0"}});
    ASSERT_TRUE(WaitForLog("Number of records = 1500\n"));
    // The agent is frozen mid-scan while the client is frozen, so the reply
    // certainly meets a client that does not read.
    ASSERT_TRUE(Freeze(agent->Pid()));
    const bool midScan = AgentLog().find(kReportAnswered) == std::string::npos;
    ASSERT_TRUE(Freeze(frozen->Pid()) || !midScan);
    agent->Signal(SIGCONT);
    ASSERT_TRUE(WaitForLog(kReportAnswered));

    EXPECT_EQ(Query({"--code", "7", "--timeout", "20000"}).status, 1) << "a frozen client blocks nobody";
    frozen->Signal(SIGKILL);
    const int killed = frozen->Wait();
    EXPECT_TRUE(killed == -SIGKILL || (!midScan && killed == 0)) << killed;

    EXPECT_EQ(Query({"--code", "7"}).status, 1);
    const RunResult report = Query({});
    EXPECT_EQ(report.status, 0) << report.output;
    EXPECT_NE(report.output.find("items: 1\n"), std::string::npos) << report.output;
    StopAgentCleanly(*agent);
}

TEST_F(AgentFaultTest, LogDirectoryRemovedWhileRunning) {
    ASSERT_TRUE(WriteAvailabilityLog(sandbox_->SystemLogPath(), 30));
    auto agent = StartAgent();
    fs::remove_all(sandbox_->LogDirectory());
    const RunResult report = Query({});
    EXPECT_EQ(report.status, 0) << report.output;
    EXPECT_NE(report.output.find("items: 1\n"), std::string::npos) << report.output;
    EXPECT_EQ(Query({"--code", "7"}).status, 1);
    StopAgentCleanly(*agent);
}

// The scan reads the file with pread, never through a mapping: a file cut
// short or rewritten under it gives unreadable records, not SIGBUS.
TEST_F(AgentFaultTest, SystemLogTruncatedOrReplacedDuringAScan) {
    constexpr std::uint32_t kRecords = 20000;
    const std::string path = sandbox_->SystemLogPath();
    struct Case {
        const char* what;
        std::function<void()> damage;
    };
    const Case cases[] = {
        {"truncated to nothing", [&] { ASSERT_EQ(truncate(path.c_str(), 0), 0); }},
        {"truncated to half", [&] { ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(fs::file_size(path) / 2)), 0); }},
        {"overwritten in place",
         [&] {
             std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
             const std::string garbage(1 << 20, '\xA5');
             file.seekp(0x30);
             file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
         }},
        {"replaced by another file",
         [&] {
             const std::string other = sandbox_->Root() + "/other.evt";
             ASSERT_TRUE(WriteAvailabilityLog(other, 3));
             ASSERT_EQ(rename(other.c_str(), path.c_str()), 0);
         }},
    };
    auto agent = StartAgent();
    std::size_t scans = 0;
    int damagedMidScan = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(WriteMixedLog(path, kRecords));
        auto query = StartQuery({"--timeout", "120000"});
        ASSERT_TRUE(WaitForLog("Number of records = 20000\n", ++scans));
        // Damaged while the agent is frozen, so that the log tells whether
        // the scan was still reading.
        ASSERT_TRUE(Freeze(agent->Pid()));
        if (CountOccurrences(AgentLog(), kReportAnswered) < scans) ++damagedMidScan;
        c.damage();
        agent->Signal(SIGCONT);
        const std::string output = query->ReadAll();
        EXPECT_EQ(query->Wait(), 0) << output;
        EXPECT_NE(output.find("items: 1\n"), std::string::npos) << output;
        ASSERT_EQ(agent->Wait(0ms), kStillRunning);
    }
    std::cout << "[ figures  ] damaged in the middle of the scan: " << damagedMidScan << " of 4\n";
    ASSERT_TRUE(WriteAvailabilityLog(path, 30));
    const RunResult report = Query({"--json"});
    EXPECT_EQ(report.status, 0) << report.output;
    StopAgentCleanly(*agent);
}

// Without its directory the endpoint is unreachable, but the agent neither
// crashes nor blocks a successor, and still quits cleanly.
TEST_F(AgentFaultTest, EndpointDirectoryDeletedUnderARunningAgent) {
    ASSERT_TRUE(WriteAvailabilityLog(sandbox_->SystemLogPath(), 30));
    auto agent = StartAgent();
    fs::remove_all(sandbox_->EndpointDirectory());
    EXPECT_EQ(Query({"--code", "7", "--timeout", "3000"}).status, 4);
    EXPECT_EQ(agent->Wait(0ms), kStillRunning);

    // A second agent registers in the re-created directory and serves.
    auto successor = StartAgent();
    const RunResult report = Query({});
    EXPECT_EQ(report.status, 0) << report.output;
    StopAgentCleanly(*successor);
    agent->Signal(SIGTERM);
    EXPECT_EQ(agent->Wait(), 0);
}

}  // namespace
}  // namespace fault_test
