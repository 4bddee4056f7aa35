// Load on the agent: many clients at once, and long runs of requests that
// must leave its memory and descriptors where they were.
#include <cstdlib>
#include <iostream>

#include "FaultSupport.h"

namespace fault_test {
namespace {

using AgentLoadTest = AgentTest;

// Growth of the agent's resident size allowed over the measured runs.
// ThreadSanitizer keeps metadata for every lock and block it has seen and
// returns it slowly, a few hundred KiB per hundred clients at first.
#if defined(__SANITIZE_THREAD__)
constexpr long kResidentGrowthKiB = 4096;
#else
constexpr long kResidentGrowthKiB = 512;
#endif

const std::string kAllAnswered = "answered=100 duplicated=0 stray=0 wrong=0 lost=0\n";

TEST_F(AgentLoadTest, SixteenClientsOfAHundredRequestsEachAreAnsweredExactlyOnce) {
    ASSERT_TRUE(WriteAvailabilityLog(sandbox_->SystemLogPath(), 6));
    auto agent = StartAgent();
    const std::string before = AgentLog();
    const std::size_t probes = CountOccurrences(before, " CommandCode=7\n");

    // Fourteen raw clients see every reply message themselves; one waits on
    // each request in turn and one sends all of its requests at once.
    std::vector<std::unique_ptr<Child>> clients;
    for (int i = 0; i < 14; ++i) clients.push_back(StartClient({"burst", "OrvaneAgent", "100", "8"}));
    clients.push_back(StartClient({"wait", "OrvaneAgent", "100"}));
    clients.push_back(StartClient({"async", "OrvaneAgent", "100"}));
    unsigned answered = 0;
    for (auto& client : clients) {
        const std::string line = client->ReadAll(180s);
        EXPECT_EQ(client->Wait(), 0) << line;
        EXPECT_NE(line.find(kAllAnswered), std::string::npos) << line;
        if (line.find(kAllAnswered) != std::string::npos) answered += 100;
    }
    std::cout << "[ figures  ] requests answered exactly once: " << answered << " of 1600\n";

    // The agent saw each request once: 800 scans and 800 unknown codes.
    const std::string log = AgentLog();
    EXPECT_EQ(CountOccurrences(log, " CommandCode=13\n"), 800u);
    EXPECT_EQ(CountOccurrences(log, " CommandCode=7\n") - probes, 800u);
    EXPECT_EQ(CountOccurrences(log, "Processed command code Orvane_COMMAND_ID\n"), 800u);
    StopAgentCleanly(*agent);
}

// Memory and descriptors after a warm-up, then after 1,000 more requests
// from one client and 100 short-lived clients: a leak of one report per
// request, or of one connection per client, shows far above the bounds.
TEST_F(AgentLoadTest, ThousandSequentialRequestsLeaveMemoryAndDescriptorsFlat) {
    // 30 entries: a report of about 1.5 KiB, leaked 500 times = 750 KiB.
    ASSERT_TRUE(WriteAvailabilityLog(sandbox_->SystemLogPath(), 30, 16));
    std::string asanOptions = std::getenv("ASAN_OPTIONS") != nullptr ? std::getenv("ASAN_OPTIONS") : "";
    // Freed blocks go back at once instead of into quarantine, so that the
    // resident size follows what is really held.
    asanOptions += (asanOptions.empty() ? "" : ":") + std::string("quarantine_size_mb=0:thread_local_quarantine_size_kb=0");
    auto agent = StartAgent({{"ASAN_OPTIONS", asanOptions}});

    auto run = [&](const std::vector<std::string>& arguments) {
        auto client = StartClient(arguments);
        const std::string line = client->ReadAll(300s);
        EXPECT_EQ(client->Wait(), 0) << line;
        EXPECT_NE(line.find("duplicated=0 stray=0 wrong=0 lost=0"), std::string::npos) << line;
    };
    run({"wait", "OrvaneAgent", "200"});
    for (int i = 0; i < 10; ++i) run({"wait", "OrvaneAgent", "2"});
    const long rssBefore = ResidentKiB(agent->Pid());
    const long fdsBefore = OpenDescriptors(agent->Pid());
    ASSERT_GT(rssBefore, 0);
    ASSERT_GT(fdsBefore, 0);

    run({"wait", "OrvaneAgent", "1000"});
    const long rssAfterOne = ResidentKiB(agent->Pid());
    const long fdsAfterOne = OpenDescriptors(agent->Pid());
    for (int i = 0; i < 100; ++i) run({"wait", "OrvaneAgent", "2"});
    const long rssAfter = ResidentKiB(agent->Pid());
    const long fdsAfter = OpenDescriptors(agent->Pid());

    std::cout << "[ figures  ] VmRSS KiB before/after 1000 requests/after 100 clients: " << rssBefore << " / "
              << rssAfterOne << " / " << rssAfter << "; open fds: " << fdsBefore << " / " << fdsAfterOne << " / "
              << fdsAfter << "\n";
    RecordProperty("rss_before_kib", std::to_string(rssBefore));
    RecordProperty("rss_after_kib", std::to_string(rssAfter));
    RecordProperty("fds_before", std::to_string(fdsBefore));
    RecordProperty("fds_after", std::to_string(fdsAfter));
    // One connection to a client may still be open when it is measured.
    EXPECT_LE(fdsAfterOne, fdsBefore + 1);
    EXPECT_LE(fdsAfter, fdsBefore + 1);
    EXPECT_LE(rssAfterOne - rssBefore, kResidentGrowthKiB);
    EXPECT_LE(rssAfter - rssBefore, kResidentGrowthKiB);
    StopAgentCleanly(*agent);
}

}  // namespace
}  // namespace fault_test
