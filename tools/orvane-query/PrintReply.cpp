#include "PrintReply.h"

#include <cstdio>
#include <iomanip>

#include "Core/AvailabilityReport.h"
#include "text/Utf16.h"

namespace {

constexpr std::int32_t kAvailabilityCode = 13;

std::string Utf8(const std::u16string& text) { return Utf16ToUtf8(text); }

// "20050701110000" as "2005-07-01 11:00:00".
std::string ReadableTime(const std::u16string& digits) {
    const std::string d = Utf8(digits);
    if (d.size() != 14) return d;
    return d.substr(0, 4) + "-" + d.substr(4, 2) + "-" + d.substr(6, 2) + " " + d.substr(8, 2) + ":" +
           d.substr(10, 2) + ":" + d.substr(12, 2);
}

// The availability report of a code-13 reply, when the reply carries one.
enum class ReportState { kNone, kEmpty, kParsed, kMalformed };

ReportState ReadReport(const QueryOptions& options, const Command& command, AvailabilityReport* report,
                       std::string* error) {
    if (options.code != kAvailabilityCode || command.GetResult() != 0 || command.GetReplyCount() == 0) {
        return ReportState::kNone;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(command.GetReply(0));
    const std::uint32_t length = command.GetReplyLength(0);
    if (length == 0) return ReportState::kEmpty;
    return ParseAvailabilityReport(bytes, length, report, error) ? ReportState::kParsed : ReportState::kMalformed;
}

void PrintReportText(std::ostream& out, const AvailabilityReport& report) {
    std::size_t computerWidth = 8;
    for (const auto& entry : report.entries) computerWidth = std::max(computerWidth, Utf8(entry.computer).size());
    out << "availability report: " << report.entries.size() << (report.entries.size() == 1 ? " entry" : " entries") << " (count field " << report.count
        << "), agent time " << ReadableTime(report.currentTime) << "\n";
    out << std::left << std::setw(6) << "EVENT" << "  " << std::setw(19) << "MEANING" << "  "
        << std::setw(static_cast<int>(computerWidth)) << "COMPUTER" << "  TIME\n";
    for (const auto& entry : report.entries) {
        out << std::left << std::setw(6) << entry.eventCode << "  " << std::setw(19)
            << DescribeAvailabilityEvent(entry.eventCode) << "  " << std::setw(static_cast<int>(computerWidth))
            << Utf8(entry.computer) << "  " << Utf8(entry.time) << "\n";
    }
}

void PrintReportJson(std::ostream& out, const AvailabilityReport& report) {
    out << ",\"report\":{\"count\":" << report.count << ",\"entries\":[";
    for (std::size_t i = 0; i < report.entries.size(); ++i) {
        const auto& entry = report.entries[i];
        out << (i != 0 ? "," : "") << "{\"event\":" << entry.eventCode
            << ",\"meaning\":" << JsonString(DescribeAvailabilityEvent(entry.eventCode))
            << ",\"computer\":" << JsonString(Utf8(entry.computer)) << ",\"time\":" << JsonString(Utf8(entry.time))
            << "}";
    }
    out << "],\"currentTime\":" << JsonString(Utf8(report.currentTime)) << "}";
}

}  // namespace

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (byte < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    out += '"';
    return out;
}

bool PrintReply(std::ostream& out, const QueryOptions& options, const Command& command) {
    const std::uint32_t count = command.GetReplyCount();
    AvailabilityReport report;
    std::string error;
    const ReportState state =
        options.format == OutputFormat::kRaw ? ReportState::kNone : ReadReport(options, command, &report, &error);
    switch (options.format) {
        case OutputFormat::kRaw:
            if (count != 0 && command.GetReply(0) != nullptr) {
                out.write(static_cast<const char*>(command.GetReply(0)),
                          static_cast<std::streamsize>(command.GetReplyLength(0)));
            }
            break;
        case OutputFormat::kJson:
            out << "{\"target\":" << JsonString(options.target) << ",\"code\":" << options.code
                << ",\"result\":" << command.GetResult() << ",\"items\":[";
            for (std::uint32_t i = 0; i < count; ++i) {
                out << (i != 0 ? "," : "") << "{\"size\":" << command.GetReplyLength(i) << "}";
            }
            out << "]";
            if (state == ReportState::kParsed) PrintReportJson(out, report);
            if (state == ReportState::kEmpty) out << ",\"report\":null";
            if (state == ReportState::kMalformed) out << ",\"error\":" << JsonString("malformed report: " + error);
            out << "}\n";
            break;
        case OutputFormat::kText:
            out << "target: " << options.target << "\n"
                << "code: " << options.code << "\n"
                << "result: " << command.GetResult() << "\n"
                << "items: " << count << "\n";
            for (std::uint32_t i = 0; i < count; ++i) {
                out << "  item " << i << ": " << command.GetReplyLength(i) << " bytes\n";
            }
            if (state == ReportState::kParsed) PrintReportText(out, report);
            if (state == ReportState::kEmpty) out << "no report yet: the agent has not read its event log\n";
            if (state == ReportState::kMalformed) out << "malformed report: " << error << "\n";
            break;
    }
    out.flush();
    return state != ReportState::kMalformed;
}

void PrintFailure(std::ostream& out, const QueryOptions& options, const Command& command,
                  const std::string& what) {
    if (options.format != OutputFormat::kJson) return;
    out << "{\"target\":" << JsonString(options.target) << ",\"code\":" << options.code
        << ",\"result\":" << command.GetResult() << ",\"error\":" << JsonString(what) << "}\n";
    out.flush();
}
