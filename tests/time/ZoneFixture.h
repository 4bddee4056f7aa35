// ZoneFixture.h - runs a test in a chosen tz database zone at a pinned
// "now", restoring TZ and the real clock afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "win32/win32.h"
#include "win32/win32_testing.h"

class ZoneFixture : public ::testing::Test {
public:
    // Instants used as "now" throughout the tests.
    static constexpr std::int64_t kSummer2005 = 1120219200;   // 2005-07-01 12:00:00 UTC
    static constexpr std::int64_t kWinter2005 = 1105790400;   // 2005-01-15 12:00:00 UTC

protected:
    void SetUp() override {
        if (const char* tz = std::getenv("TZ")) savedTz_ = tz;
    }

    void TearDown() override {
        if (savedTz_) {
            setenv("TZ", savedTz_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        win32_testing::ReloadTimeZone();
        win32_testing::UseRealClock();
    }

public:
    static void UseZone(const char* zone) {
        setenv("TZ", zone, 1);
        win32_testing::ReloadTimeZone();
    }

    static void PinNow(std::int64_t unixSeconds) {
        win32_testing::SetFixedClock(unixSeconds * 1'000'000);
    }

    static FILETIME FileTimeOfUnix(std::int64_t unixSeconds) {
        const auto units = static_cast<std::uint64_t>(unixSeconds * 10'000'000 +
                                                      116'444'736'000'000'000);
        return FILETIME{static_cast<DWORD>(units & 0xFFFFFFFFu), static_cast<DWORD>(units >> 32)};
    }

    static std::uint64_t Units(const FILETIME& fileTime) {
        return static_cast<std::uint64_t>(fileTime.dwHighDateTime) << 32 | fileTime.dwLowDateTime;
    }

private:
    std::optional<std::string> savedTz_;
};
