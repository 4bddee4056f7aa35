// AgentHarness.h - one OrvaneAgent for the fuzz targets that drive the scan,
// and the checks of what the scan leaves in the report buffer.
//
// The agent registers in a private endpoint directory and is built from a
// private working directory without ../log, so its log stays closed and
// nothing is written. The clock is pinned to 2005-07-01 12:00:00 UTC; Use()
// picks the zone, the Windows version and the user's locale.
//
// Thread-safety: none; one input at a time.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Core/ReportBuffer.h"
#include "FuzzSupport.h"
#include "OrvaneAgent/AgentLog.h"
#include "OrvaneAgent/OrvaneAgent.h"
#include "text/Str.h"
#include "win32/win32.h"
#include "win32/win32_testing.h"

namespace fuzz {

class AgentHarness {
public:
    static constexpr std::int64_t kPinnedClock = 1120219200LL * 1000000LL;

    explicit AgentHarness(const char* nodeName) {
        ::setenv("DIVIZE_DIR", scratch_.Path().c_str(), 1);
        win32_testing::SetFixedClock(kPinnedClock);
        nt40_.dwOSVersionInfoSize = sizeof nt40_;
        nt40_.dwPlatformId = VER_PLATFORM_WIN32_NT;
        nt40_.dwMajorVersion = 4;
        nt40_.dwMinorVersion = 0;
        modern_ = nt40_;
        modern_.dwMajorVersion = 10;

        char previous[PATH_MAX];
        Check(::getcwd(previous, sizeof previous) != nullptr, "getcwd");
        const std::string work = scratch_.Path() + "/work";
        Check(::mkdir(work.c_str(), 0700) == 0 && ::chdir(work.c_str()) == 0, "cannot enter scratch");
        agent_ = new OrvaneAgent(nodeName);
        Check(::chdir(previous) == 0, "cannot return from scratch");
        Check(!AgentLog::IsOpen(), "the agent log is open");
    }
    ~AgentHarness() {
        delete agent_;
        win32_testing::UseRealClock();
        win32_testing::SetVersionOverride(nullptr);
        win32_testing::SetUserLocaleOverride(nullptr);
    }
    AgentHarness(const AgentHarness&) = delete;
    AgentHarness& operator=(const AgentHarness&) = delete;

    OrvaneAgent& Agent() { return *agent_; }
    const std::string& ScratchPath() const { return scratch_.Path(); }

    // A zone with daylight-saving rules (on daylight time at the pinned
    // clock) on an ordinary system.
    void UseDaylightZone() { Use("EST5EDT,M4.1.0,M10.5.0", modern_, "en_US.UTF-8"); }
    // A zone without daylight-saving rules on a Japanese Windows NT 4.0.
    void UseJapaneseNt4() { Use("JST-9", nt40_, "ja_JP.UTF-8"); }

private:
    void Use(const char* zone, const OSVERSIONINFOW& version, const char* locale) {
        ::setenv("TZ", zone, 1);
        win32_testing::ReloadTimeZone();
        win32_testing::SetVersionOverride(&version);
        win32_testing::SetUserLocaleOverride(locale);
    }

    PrivateDirectory scratch_;
    OrvaneAgent* agent_ = nullptr;
    OSVERSIONINFOW nt40_{};
    OSVERSIONINFOW modern_{};
};

inline std::int32_t LoadI32(const std::uint8_t* p) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                                     static_cast<std::uint32_t>(p[2]) << 16 |
                                     static_cast<std::uint32_t>(p[3]) << 24);
}

// The packed text at `at`, which must end in its zero byte inside the
// report and fit the 256-unit buffer; `at` moves past it.
inline std::u16string TakePackedText(const std::uint8_t* report, std::uint32_t length, std::uint32_t& at) {
    std::uint32_t end = at;
    while (end < length && report[end] != 0) ++end;
    Check(end < length, "a report text has no zero byte");
    const std::string packed(reinterpret_cast<const char*>(report + at), end - at);
    const Str text(packed.c_str());
    const std::uint32_t units = text.GetUnicode(nullptr, 0);
    Check(units <= OrvaneAgent::kReportTextUnits, "a report text exceeds its 256-unit buffer");
    std::u16string decoded(units, u'\0');
    text.GetUnicode(decoded.data(), units);
    decoded.resize(units - 1);
    at = end + 1;
    return decoded;
}

// One entry at `at`: a qualifying code and two texts; `at` moves past it.
inline void TakeEntry(const std::uint8_t* report, std::uint32_t length, std::uint32_t& at) {
    Check(length - at >= 6, "a report entry is too short");
    const std::int32_t code = LoadI32(report + at);
    Check(code == 6005 || code == 6006 || code == 6008, "a report entry has another code");
    at += 4;
    TakePackedText(report, length, at);
    TakePackedText(report, length, at);
}

}  // namespace fuzz
