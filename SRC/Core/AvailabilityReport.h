// AvailabilityReport.h - reading an availability report back.
//
// The report is what the agent's code-13 reply carries (all integers 32-bit
// little-endian, every text packed and ending in its zero byte):
//   count, then `count` entries of {event code, computer name, time text},
//   then the agent's current time as 14 digits "%Y%m%d%H%M%S".
// Nothing marks where the entries end, so the reader walks `count` entries
// and then expects exactly the 15-byte time text and the end of the report.
//
// Thread-safety: free functions without shared state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct AvailabilityEntry {
    std::int32_t eventCode = 0;
    std::u16string computer;
    std::u16string time;
};

struct AvailabilityReport {
    std::int32_t count = 0;
    std::vector<AvailabilityEntry> entries;
    std::u16string currentTime;
};

// Parses `size` bytes; never reads outside them. On failure returns false and
// says in `error` what did not parse and at which byte.
bool ParseAvailabilityReport(const std::uint8_t* data, std::size_t size, AvailabilityReport* report,
                             std::string* error);

// What an event code means, in a few words.
const char* DescribeAvailabilityEvent(std::int32_t eventCode);
