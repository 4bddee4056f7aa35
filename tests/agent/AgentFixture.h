// AgentFixture.h - an OrvaneAgent in the test process, on a scratch tree.
//
// The scratch tree has work/ (the working directory while a test runs, so
// the agent's log lands in ../log/OrvaneAgent.log), log/, evt/ (the
// EVENTLOG_DIR holding System.evt) and a private message-queue directory.
// "Now" and the zone are pinned through the platform's test seams.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Core/ReportBuffer.h"
#include "EvtWriter.h"
#include "OrvaneAgent/OrvaneAgent.h"
#include "win32/win32_testing.h"

namespace agent_test {

// 2005-07-01 12:00:00 UTC (daylight saving in New York) and
// 2005-01-15 12:00:00 UTC (standard time there).
inline constexpr std::int64_t kSummer = 1120219200;
inline constexpr std::int64_t kWinter = 1105790400;

class AgentFixture : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orvane-agent-test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        for (const char* dir : {"work", "log", "evt", "divize"}) std::filesystem::create_directory(root_ / dir);
        std::filesystem::permissions(root_ / "divize", std::filesystem::perms::owner_all);
        previousDirectory_ = std::filesystem::current_path();
        std::filesystem::current_path(root_ / "work");
        setenv("DIVIZE_DIR", (root_ / "divize").c_str(), 1);
        setenv("EVENTLOG_DIR", (root_ / "evt").c_str(), 1);
        SetZone("America/New_York");
        SetNow(kSummer);
    }

    void TearDown() override {
        agent_.reset();
        std::filesystem::current_path(previousDirectory_);
        unsetenv("EVENTLOG_DIR");
        unsetenv("TZ");
        win32_testing::ReloadTimeZone();
        win32_testing::UseRealClock();
        win32_testing::SetVersionOverride(nullptr);
        win32_testing::SetUserLocaleOverride(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    static void SetZone(const char* zone) {
        setenv("TZ", zone, 1);
        win32_testing::ReloadTimeZone();
    }

    static void SetNow(std::int64_t unixSeconds) { win32_testing::SetFixedClock(unixSeconds * 1000000); }

    void WriteSystemLog(const std::vector<evtwriter::Record>& records) {
        ASSERT_TRUE(evtwriter::WriteLog((root_ / "evt" / "System.evt").string(), records, {}));
    }

    std::filesystem::path Root() const { return root_; }

    OrvaneAgent& Agent() {
        if (!agent_) {
            const std::string name = "agent-test." + std::to_string(getpid());
            agent_ = std::make_unique<OrvaneAgent>(name.c_str());
        }
        return *agent_;
    }

    // The report the last scan left in the process-wide buffer.
    static std::vector<std::uint8_t> Report() {
        const ReportBuffer& buffer = TheReportBuffer();
        return {buffer.GetData(), buffer.GetData() + buffer.GetLength()};
    }

    std::string LogText() const {
        std::ifstream in(root_ / "log" / "OrvaneAgent.log", std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // What the log holds after the agent's start-up lines.
    std::string LogAfterStartUp() const {
        const std::string text = LogText();
        const std::string marker = "in Init, return";
        const auto at = text.find(marker);
        return at == std::string::npos ? text : text.substr(at + marker.size());
    }

private:
    std::filesystem::path root_;
    std::filesystem::path previousDirectory_;
    std::unique_ptr<OrvaneAgent> agent_;
};

// SYSTEMTIME from its calendar fields.
inline SYSTEMTIME At(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    return SYSTEMTIME{year, month, 0, day, hour, minute, second, 0};
}

}  // namespace agent_test
