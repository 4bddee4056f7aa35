#include "QueryOptions.h"

#include <charconv>
#include <cstring>
#include <limits>

namespace {

// Names, length table and header of a request must fit 65535 bytes.
constexpr std::size_t kMaxTargetLength = 60000;

template <class T>
bool ParseNumber(const char* text, T& value) {
    if (text == nullptr || *text == '\0') return false;
    const char* end = text + std::strlen(text);
    const auto [ptr, ec] = std::from_chars(text, end, value);
    return ec == std::errc() && ptr == end;
}

}  // namespace

std::string QueryUsage() {
    return "Usage: orvane-query [--target NAME] [--code N] [--timeout MS] [--json | --raw]\n"
           "\n"
           "Sends one request to a node of the message-queue service and prints the reply.\n"
           "The request is sent from a node of its own, \"orvane-query.<pid>\".\n"
           "\n"
           "Options:\n"
           "  --target NAME  node to ask (default: OrvaneAgent)\n"
           "  --code N       command code, a signed 32-bit number (default: 13)\n"
           "  --timeout MS   milliseconds to wait for the reply (default: 15000)\n"
           "  --json         print the outcome as one JSON object\n"
           "  --raw          write the first reply item's bytes to standard output,\n"
           "                 exactly and nothing else (nothing when there is no item)\n"
           "  --help         print this text\n"
           "\n"
           "Without --json or --raw the outcome is printed as text: the result code and\n"
           "the number and sizes of the reply items. A code-13 reply with result 0 is\n"
           "decoded as an availability report: a table of its entries (event code,\n"
           "meaning, computer, time text) and the agent's current time; --json gives\n"
           "the same as a \"report\" member. A report that does not parse is shown as\n"
           "an error (\"malformed report: ...\"), never trusted. Failures are reported\n"
           "on standard error (and, with --json, as an object with an \"error\" member).\n"
           "\n"
           "Exit status:\n"
           "  0  a reply with result 0\n"
           "  1  a reply with another result (printed), or the request could not be built\n"
           "  2  usage error\n"
           "  3  no reply in time\n"
           "  4  target not reachable (no such node, the request was refused, or this\n"
           "     program could not register its own node)\n";
}

bool ParseQueryOptions(int argc, const char* const* argv, QueryOptions& options, std::string& error) {
    bool formatGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--target") {
            if (next == nullptr || *next == '\0') {
                error = "--target needs a node name";
                return false;
            }
            if (std::strlen(next) > kMaxTargetLength) {
                error = "--target: name too long";
                return false;
            }
            options.target = next;
            ++i;
        } else if (arg == "--code") {
            if (!ParseNumber(next, options.code)) {
                error = "--code needs a signed 32-bit number";
                return false;
            }
            ++i;
        } else if (arg == "--timeout") {
            if (!ParseNumber(next, options.timeoutMs)) {
                error = "--timeout needs a number of milliseconds (0 to 4294967295)";
                return false;
            }
            ++i;
        } else if (arg == "--json" || arg == "--raw") {
            const OutputFormat format = arg == "--json" ? OutputFormat::kJson : OutputFormat::kRaw;
            if (formatGiven && options.format != format) {
                error = "--json and --raw exclude each other";
                return false;
            }
            options.format = format;
            formatGiven = true;
        } else {
            error = "unknown argument: " + arg;
            return false;
        }
    }
    return true;
}
