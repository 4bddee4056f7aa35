#include "PrintReply.h"

#include <cstdio>

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

void PrintReply(std::ostream& out, const QueryOptions& options, const Command& command) {
    const std::uint32_t count = command.GetReplyCount();
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
            out << "]}\n";
            break;
        case OutputFormat::kText:
            out << "target: " << options.target << "\n"
                << "code: " << options.code << "\n"
                << "result: " << command.GetResult() << "\n"
                << "items: " << count << "\n";
            for (std::uint32_t i = 0; i < count; ++i) {
                out << "  item " << i << ": " << command.GetReplyLength(i) << " bytes\n";
            }
            break;
    }
    out.flush();
}

void PrintFailure(std::ostream& out, const QueryOptions& options, const Command& command,
                  const std::string& what) {
    if (options.format != OutputFormat::kJson) return;
    out << "{\"target\":" << JsonString(options.target) << ",\"code\":" << options.code
        << ",\"result\":" << command.GetResult() << ",\"error\":" << JsonString(what) << "}\n";
    out.flush();
}
