#include "time/LocalZone.h"

#include <time.h>

#include <mutex>
#include <optional>
#include <vector>

#include "time/CivilCalendar.h"
#include "win32/win32_testing.h"

static_assert(sizeof(time_t) >= 8, "the time services need a 64-bit time_t");

namespace win32_internal {
namespace {

struct Transition {
    std::int64_t at;   // first second of the new regime
    ZoneState before;
    ZoneState after;
};

bool SameRegime(const ZoneState& a, const ZoneState& b) {
    return a.offsetSeconds == b.offsetSeconds && a.isDst == b.isDst;
}

// Every change of regime in [from, to]. Samples every six hours (no regime
// lasts less than that in the tz database's rules) and pins each change to
// its second by bisection.
std::vector<Transition> FindTransitions(std::int64_t from, std::int64_t to) {
    constexpr std::int64_t kStep = 6 * 3600;
    std::vector<Transition> found;
    ZoneState previous;
    if (!ZoneStateAt(from, &previous)) return found;
    for (std::int64_t t = from + kStep; t <= to; t += kStep) {
        ZoneState current;
        if (!ZoneStateAt(t, &current)) break;
        if (!SameRegime(previous, current)) {
            std::int64_t low = t - kStep;   // still the previous regime
            std::int64_t high = t;          // already another regime
            while (high - low > 1) {
                const std::int64_t middle = low + (high - low) / 2;
                ZoneState probe;
                ZoneStateAt(middle, &probe);
                if (SameRegime(probe, previous)) {
                    low = middle;
                } else {
                    high = middle;
                }
            }
            ZoneState after;
            ZoneStateAt(high, &after);
            found.push_back(Transition{high, previous, after});
        }
        previous = current;
    }
    return found;
}

// A transition as a recurring Windows rule: the local time at which it
// happens on the clock of the regime it ends, with wDay the week of the
// month (5 when it is the month's last such weekday) and wYear 0.
SYSTEMTIME RecurringRule(const Transition& transition) {
    SYSTEMTIME local{};
    SystemTimeFromUnixSeconds(transition.at + transition.before.offsetSeconds, 0, &local);
    const unsigned week = (local.wDay - 1u) / 7u + 1u;
    const bool lastOfMonth = local.wDay + 7u > DaysInMonth(local.wYear, local.wMonth);
    SYSTEMTIME rule{};
    rule.wYear = 0;
    rule.wMonth = local.wMonth;
    rule.wDayOfWeek = local.wDayOfWeek;
    rule.wDay = static_cast<WORD>(lastOfMonth ? 5u : week);
    rule.wHour = local.wHour;
    rule.wMinute = local.wMinute;
    rule.wSecond = local.wSecond;
    return rule;
}

std::int64_t LocalYearOf(const Transition& transition) {
    const std::int64_t local = transition.at + transition.before.offsetSeconds;
    std::int64_t days = local / kSecondsPerDay;
    if (local % kSecondsPerDay < 0) --days;
    return CivilFromDays(days).year;
}

ZoneRules ComputeRules(std::int64_t year) {
    const std::int64_t from = DaysFromCivil(year, 1, 1) * kSecondsPerDay - 2 * kSecondsPerDay;
    const std::int64_t to = DaysFromCivil(year + 1, 1, 1) * kSecondsPerDay + 2 * kSecondsPerDay;
    const Transition* daylightStart = nullptr;
    const Transition* standardStart = nullptr;
    const std::vector<Transition> transitions = FindTransitions(from, to);
    for (const Transition& t : transitions) {
        // Only a change of the daylight flag is a daylight-saving transition;
        // a change of the standard offset alone is not.
        if (t.before.isDst == t.after.isDst || LocalYearOf(t) != year) continue;
        if (t.after.offsetSeconds > t.before.offsetSeconds && daylightStart == nullptr) {
            daylightStart = &t;
        } else if (t.after.offsetSeconds < t.before.offsetSeconds && standardStart == nullptr) {
            standardStart = &t;
        }
    }
    ZoneRules rules;
    if (daylightStart == nullptr || standardStart == nullptr) return rules;
    rules.hasDaylight = true;
    rules.standardOffset = daylightStart->before.offsetSeconds;
    rules.daylightOffset = daylightStart->after.offsetSeconds;
    rules.standardName = daylightStart->before.abbreviation;
    rules.daylightName = daylightStart->after.abbreviation;
    rules.daylightDate = RecurringRule(*daylightStart);
    rules.standardDate = RecurringRule(*standardStart);
    return rules;
}

std::mutex g_rulesLock;
std::optional<std::pair<std::int64_t, ZoneRules>> g_cachedRules;  // guarded by g_rulesLock

}  // namespace

bool ZoneStateAt(std::int64_t unixSeconds, ZoneState* state) {
    const auto seconds = static_cast<time_t>(unixSeconds);
    tm fields{};
    if (localtime_r(&seconds, &fields) == nullptr) return false;
    state->offsetSeconds = fields.tm_gmtoff;
    state->isDst = fields.tm_isdst > 0;
    state->abbreviation = fields.tm_zone != nullptr ? fields.tm_zone : "";
    return true;
}

ZoneRules ZoneRulesForYear(std::int64_t year) {
    std::lock_guard<std::mutex> lock(g_rulesLock);
    if (!g_cachedRules || g_cachedRules->first != year) {
        g_cachedRules.emplace(year, ComputeRules(year));
    }
    return g_cachedRules->second;
}

void ForgetZoneRules() {
    std::lock_guard<std::mutex> lock(g_rulesLock);
    g_cachedRules.reset();
}

}  // namespace win32_internal

namespace win32_testing {

void ReloadTimeZone() {
    tzset();
    win32_internal::ForgetZoneRules();
}

}  // namespace win32_testing

bool BreakDownUtc(std::int64_t unixSeconds, std::tm* out) {
    if (out == nullptr) return false;
    const auto seconds = static_cast<time_t>(unixSeconds);
    return gmtime_r(&seconds, out) != nullptr;
}

bool BreakDownLocal(std::int64_t unixSeconds, std::tm* out) {
    if (out == nullptr) return false;
    const auto seconds = static_cast<time_t>(unixSeconds);
    return localtime_r(&seconds, out) != nullptr;
}

std::int64_t MakeLocalTime(std::tm* fields) {
    if (fields == nullptr) return -1;
    return static_cast<std::int64_t>(mktime(fields));
}
