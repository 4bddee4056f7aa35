// QueryOptions.h - the command line of orvane-query.
#pragma once

#include <cstdint>
#include <string>

enum class OutputFormat { kText, kJson, kRaw };

struct QueryOptions {
    std::string target = "OrvaneAgent";
    std::int32_t code = 13;
    std::uint32_t timeoutMs = 15000;
    OutputFormat format = OutputFormat::kText;
    bool help = false;
};

// Exit statuses of orvane-query.
inline constexpr int kExitOk = 0;            // a reply with result 0
inline constexpr int kExitResult = 1;        // a reply with another result (or no request built)
inline constexpr int kExitUsage = 2;         // bad command line
inline constexpr int kExitTimeout = 3;       // no reply in time
inline constexpr int kExitUnreachable = 4;   // target not reachable, or no node of our own

// Parses argv[1..]. false with `error` set on a usage error.
bool ParseQueryOptions(int argc, const char* const* argv, QueryOptions& options, std::string& error);

// The --help text.
std::string QueryUsage();
