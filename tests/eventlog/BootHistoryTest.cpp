// The System log synthesised from wtmp when EVENTLOG_DIR is unset, checked
// against what `last -x` makes of the same wtmp file. The wtmp files are
// made from text with `utmpdump -r`.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <regex>
#include <sstream>

#include "EventLogTestSupport.h"

namespace {

using namespace eventlog_test;

std::string Iso(std::int64_t seconds, int microseconds = 0) {
    std::time_t t = seconds;
    std::tm tm{};
    ::gmtime_r(&t, &tm);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
    char full[96];
    std::snprintf(full, sizeof full, "%s,%06d+00:00", text, microseconds);
    return full;
}

std::int64_t Utc(int y, int mo, int d, int h, int mi, int s) {
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    return ::timegm(&tm);
}

// One line of utmpdump's text form.
std::string Boot(std::int64_t t) {
    return "[2] [00000] [~~  ] [reboot  ] [~           ] [6.1.0-13-amd64      ] [0.0.0.0        ] [" +
           Iso(t) + "]\n";
}
std::string Shutdown(std::int64_t t) {
    return "[1] [00000] [~~  ] [shutdown] [~~          ] [6.1.0-13-amd64      ] [0.0.0.0        ] [" +
           Iso(t) + "]\n";
}
std::string Login(std::int64_t t, int microseconds = 0) {
    return "[7] [01234] [ts/0] [alice   ] [pts/0       ] [10.0.0.1            ] [10.0.0.1       ] [" +
           Iso(t, microseconds) + "]\n";
}
std::string Logout(std::int64_t t) {
    return "[8] [01234] [ts/0] [        ] [pts/0       ] [                    ] [0.0.0.0        ] [" +
           Iso(t) + "]\n";
}

std::int64_t KernelBootTime() {
    std::ifstream in("/proc/stat");
    std::string key;
    while (in >> key) {
        if (key == "btime") {
            std::int64_t value = 0;
            in >> value;
            return value;
        }
        in.ignore(1 << 20, '\n');
    }
    return -1;
}

std::string RunCapture(const std::string& command) {
    std::string out;
    if (std::FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

// What `last -x` reports about a wtmp file, oldest first.
struct LastReport {
    std::vector<std::int64_t> boots;
    std::vector<std::int64_t> shutdowns;
    int bootsStillRunning = 0;   // boots with no shutdown after them
};

LastReport RunLast(const std::string& wtmp) {
    LastReport report;
    std::istringstream lines(RunCapture("TZ=UTC last -x --time-format iso -f " + wtmp));
    std::string line;
    while (std::getline(lines, line)) {
        bool boot = line.rfind("reboot ", 0) == 0;
        bool down = line.rfind("shutdown ", 0) == 0;
        if (!boot && !down) continue;
        // The first ISO time on the line is the entry's own.
        static const std::regex kIso(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)");
        std::smatch match;
        std::tm tm{};
        if (!std::regex_search(line, match, kIso) ||
            !::strptime(match.str().c_str(), "%Y-%m-%dT%H:%M:%S", &tm)) {
            ADD_FAILURE() << "cannot read: " << line;
            continue;
        }
        (boot ? report.boots : report.shutdowns).push_back(::timegm(&tm));
        if (boot && line.find("still running") != std::string::npos) ++report.bootsStillRunning;
    }
    std::reverse(report.boots.begin(), report.boots.end());
    std::reverse(report.shutdowns.begin(), report.shutdowns.end());
    return report;
}

class BootHistoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (RunCapture("command -v utmpdump && command -v last").find("last") == std::string::npos) {
            GTEST_SKIP() << "utmpdump and last (util-linux) are needed";
        }
        bootTime_ = KernelBootTime();
        ASSERT_GT(bootTime_, 0);
        ::tzset();
    }

    // Makes the wtmp file from utmpdump text.
    void MakeWtmp(const std::string& text) {
        std::ofstream(dir_.File("wtmp.txt")) << text;
        std::string command = "utmpdump -r < " + dir_.File("wtmp.txt") + " > " + wtmp_ + " 2>/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    std::vector<std::vector<std::uint8_t>> ReadSystemLog() {
        std::vector<std::vector<std::uint8_t>> out;
        HANDLE log = OpenEventLogW(nullptr, u"System");
        if (!log) {
            ADD_FAILURE() << "open failed: " << GetLastError();
            return out;
        }
        for (auto& r : ReadAllBySeek(log)) {
            EXPECT_TRUE(r.ok) << "record " << r.number;
            EXPECT_EQ(U32(r.bytes, ef::kRecordNumber), r.number);
            out.push_back(std::move(r.bytes));
        }
        EXPECT_TRUE(CloseEventLog(log));
        return out;
    }

    std::vector<std::int64_t> TimesOf(const std::vector<std::vector<std::uint8_t>>& log,
                                      std::uint16_t code) {
        std::vector<std::int64_t> out;
        for (const auto& r : log) {
            if (U16(r, ef::kRecordEventId) == code) out.push_back(U32(r, ef::kRecordTimeGenerated));
        }
        return out;
    }

    void ExpectCurrentBoot(const std::vector<std::uint8_t>& r) {
        EXPECT_EQ(U16(r, ef::kRecordEventId), 6005);
        EXPECT_NEAR(static_cast<double>(U32(r, ef::kRecordTimeGenerated)),
                    static_cast<double>(bootTime_), 2.0);
    }

    std::u16string HostName() {
        char host[256] = {};
        ::gethostname(host, sizeof host - 1);
        return std::u16string(host, host + std::strlen(host));
    }

    ScratchDir dir_;
    std::string wtmp_ = dir_.File("wtmp");
    ScopedEnv noDir_{"EVENTLOG_DIR", nullptr};
    ScopedEnv wtmpEnv_{"ORVANE_WTMP", wtmp_.c_str()};
    ScopedEnv tz_{"TZ", "EST5EDT"};
    std::int64_t bootTime_ = 0;
};

TEST_F(BootHistoryTest, CleanRebootsGiveStartAndStopRecords) {
    MakeWtmp(Boot(Utc(2005, 7, 4, 8, 0, 0)) + Login(Utc(2005, 7, 4, 9, 0, 0)) +
             Logout(Utc(2005, 7, 4, 10, 0, 0)) + Shutdown(Utc(2005, 7, 4, 11, 0, 0)) +
             Boot(Utc(2005, 7, 4, 12, 0, 0)) + Shutdown(Utc(2005, 7, 4, 18, 0, 0)));
    LastReport last = RunLast(wtmp_);
    ASSERT_EQ(last.boots.size(), 2u);
    EXPECT_EQ(last.bootsStillRunning, 0);

    auto log = ReadSystemLog();
    ASSERT_EQ(log.size(), 5u);
    auto boots = TimesOf(log, 6005);
    ASSERT_EQ(boots.size(), 3u);
    boots.pop_back();   // the current boot, which wtmp lacks
    EXPECT_EQ(boots, last.boots);
    EXPECT_EQ(TimesOf(log, 6006), last.shutdowns);
    EXPECT_TRUE(TimesOf(log, 6008).empty());
    ExpectCurrentBoot(log.back());

    const std::uint16_t order[] = {6005, 6006, 6005, 6006, 6005};
    for (std::size_t i = 0; i < log.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(U16(log[i], ef::kRecordEventId), order[i]);
        EXPECT_EQ(U32(log[i], ef::kRecordEventId) >> 16, 0x8000u);
        EXPECT_EQ(U16(log[i], ef::kRecordEventType), ef::kEventTypeInformation);
        EXPECT_EQ(SourceName(log[i]), u"EventLog");
        EXPECT_EQ(ComputerName(log[i]), HostName());
        EXPECT_EQ(U32(log[i], ef::kRecordTimeWritten), U32(log[i], ef::kRecordTimeGenerated));
    }
}

TEST_F(BootHistoryTest, BootWithoutShutdownGivesAnUnexpectedShutdownRecord) {
    const std::int64_t lastSign = Utc(2005, 7, 5, 3, 59, 2);   // 11:59:02 PM on 7/4 in EDT
    const std::int64_t crashBoot = Utc(2005, 7, 5, 8, 0, 0);
    MakeWtmp(Boot(Utc(2005, 7, 4, 8, 0, 0)) + Shutdown(Utc(2005, 7, 4, 11, 0, 0)) +
             Boot(Utc(2005, 7, 4, 12, 0, 0)) + Login(Utc(2005, 7, 4, 13, 0, 0)) +
             Login(lastSign, 250000) + Boot(crashBoot));
    LastReport last = RunLast(wtmp_);
    ASSERT_EQ(last.boots.size(), 3u);

    auto log = ReadSystemLog();
    auto boots = TimesOf(log, 6005);
    ASSERT_EQ(boots.size(), 4u);
    boots.pop_back();
    EXPECT_EQ(boots, last.boots);
    EXPECT_EQ(TimesOf(log, 6006), last.shutdowns);
    // Every boot that `last` sees still running was followed by a crash: the
    // crashed ones in wtmp, and the newest one, followed by the current boot.
    EXPECT_EQ(TimesOf(log, 6008).size(), static_cast<std::size_t>(last.bootsStillRunning));

    // 6005, 6006, 6005, 6005 + 6008 (crash), current 6005 + 6008.
    ASSERT_EQ(log.size(), 7u);
    EXPECT_EQ(U16(log[3], ef::kRecordEventId), 6005);
    const auto& crash = log[4];
    EXPECT_EQ(U16(crash, ef::kRecordEventId), 6008);
    EXPECT_EQ(U16(crash, ef::kRecordEventType), ef::kEventTypeError);
    EXPECT_EQ(U32(crash, ef::kRecordTimeGenerated), crashBoot);
    EXPECT_EQ(Strings(crash), (std::vector<std::u16string>{u"11:59:02 PM", u"7/4/2005"}));
    // Local (EDT) then UTC, with the milliseconds of the wtmp entry.
    const std::uint16_t expected[16] = {2005, 7, 1, 4, 23, 59, 2, 250,
                                        2005, 7, 2, 5, 3,  59, 2, 250};
    auto data = Data(crash);
    ASSERT_EQ(data.size(), 32u);
    for (std::size_t i = 0; i < 16; ++i) EXPECT_EQ(ef::LoadU16(&data[2 * i]), expected[i]) << i;

    ExpectCurrentBoot(log[5]);
    EXPECT_EQ(U16(log[6], ef::kRecordEventId), 6008);
    auto sinceCrash = Data(log[6]);
    ASSERT_EQ(sinceCrash.size(), 32u);
    EXPECT_EQ(ef::LoadU16(&sinceCrash[16 + 8]), 8) << "last sign of life: the crash boot itself, 08:00 UTC";
    EXPECT_EQ(Strings(log[6]), (std::vector<std::u16string>{u"4:00:00 AM", u"7/5/2005"}));

    EXPECT_EQ(ReadSystemLog(), log) << "record numbers and contents are the same on every open";
}

TEST_F(BootHistoryTest, CurrentBootRecordedInWtmpIsNotAddedAgain) {
    MakeWtmp(Boot(Utc(2005, 7, 4, 8, 0, 0)) + Shutdown(Utc(2005, 7, 4, 11, 0, 0)) +
             Boot(bootTime_ - 5) + Login(bootTime_ + 60));
    auto log = ReadSystemLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(TimesOf(log, 6005), (std::vector<std::int64_t>{Utc(2005, 7, 4, 8, 0, 0), bootTime_ - 5}));
    EXPECT_TRUE(TimesOf(log, 6008).empty());
}

TEST_F(BootHistoryTest, MissingOrEmptyWtmpGivesTheCurrentBootOnly) {
    for (bool exists : {false, true}) {
        SCOPED_TRACE(exists ? "empty wtmp" : "no wtmp");
        if (exists) std::ofstream(wtmp_).flush();
        auto log = ReadSystemLog();
        ASSERT_EQ(log.size(), 1u);
        ExpectCurrentBoot(log[0]);
    }
}

TEST_F(BootHistoryTest, UnreadableWtmpFailsTheOpen) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads any file";
    MakeWtmp(Boot(Utc(2005, 7, 4, 8, 0, 0)));
    ASSERT_EQ(::chmod(wtmp_.c_str(), 0), 0);
    EXPECT_EQ(OpenEventLogW(nullptr, u"System"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST_F(BootHistoryTest, OnlyTheSystemLogExists) {
    EXPECT_EQ(OpenEventLogW(nullptr, u"Application"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    HANDLE log = OpenEventLogW(nullptr, u"system");
    EXPECT_NE(log, nullptr) << "log names are not case-sensitive";
    if (log) CloseEventLog(log);
}

}  // namespace
