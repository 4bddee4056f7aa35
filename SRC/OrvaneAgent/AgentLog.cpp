#include "OrvaneAgent/AgentLog.h"

#include <cstdint>
#include <cstring>
#include <mutex>

#include "text/Utf16.h"
#include "win32/win32.h"

namespace AgentLog {
namespace {

std::mutex g_mutex;
TextStream* g_stream = nullptr;

struct Spec {
    bool left = false;
    bool zero = false;
    bool plus = false;
    bool space = false;
    bool alt = false;
    int width = 0;
    int precision = -1;
    bool wide64 = false;
    bool wideText = false;
};

void Pad(std::string& out, const std::string& body, const Spec& spec, bool numeric) {
    const int fill = spec.width - static_cast<int>(body.size());
    if (fill <= 0) {
        out += body;
    } else if (spec.left) {
        out += body;
        out.append(static_cast<std::size_t>(fill), ' ');
    } else if (spec.zero && numeric && spec.precision < 0) {
        // Zeros go after any sign or 0x prefix.
        std::size_t prefix = 0;
        if (!body.empty() && (body[0] == '-' || body[0] == '+' || body[0] == ' ')) prefix = 1;
        if (body.size() > prefix + 1 && body[prefix] == '0' &&
            (body[prefix + 1] == 'x' || body[prefix + 1] == 'X')) {
            prefix += 2;
        }
        out.append(body, 0, prefix);
        out.append(static_cast<std::size_t>(fill), '0');
        out.append(body, prefix, std::string::npos);
    } else {
        out.append(static_cast<std::size_t>(fill), ' ');
        out += body;
    }
}

std::string Digits(std::uint64_t value, unsigned base, bool upper) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string text;
    do {
        text.insert(text.begin(), digits[value % base]);
        value /= base;
    } while (value != 0);
    return text;
}

void FormatInteger(std::string& out, const Spec& spec, char conversion, va_list& args) {
    const bool isSigned = conversion == 'd' || conversion == 'i';
    std::uint64_t magnitude = 0;
    bool negative = false;
    if (isSigned) {
        const std::int64_t value = spec.wide64 ? va_arg(args, long long) : va_arg(args, int);
        negative = value < 0;
        magnitude = negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    } else {
        magnitude = spec.wide64 ? va_arg(args, unsigned long long) : va_arg(args, unsigned int);
    }
    unsigned base = 10;
    if (conversion == 'x' || conversion == 'X') base = 16;
    if (conversion == 'o') base = 8;
    std::string digits = Digits(magnitude, base, conversion == 'X');
    if (spec.precision >= 0) {
        if (spec.precision == 0 && magnitude == 0) digits.clear();
        while (static_cast<int>(digits.size()) < spec.precision) digits.insert(digits.begin(), '0');
    }
    std::string body;
    if (negative) {
        body = "-";
    } else if (isSigned && spec.plus) {
        body = "+";
    } else if (isSigned && spec.space) {
        body = " ";
    }
    if (spec.alt && magnitude != 0 && base == 16) body += conversion == 'X' ? "0X" : "0x";
    if (spec.alt && base == 8 && (digits.empty() || digits[0] != '0')) body += "0";
    body += digits;
    Pad(out, body, spec, true);
}

}  // namespace

std::string FormatV(const char* format, va_list args) {
    std::string out;
    if (format == nullptr) return out;
    va_list ap;
    va_copy(ap, args);
    for (const char* p = format; *p != 0; ++p) {
        if (*p != '%') {
            out.push_back(*p);
            continue;
        }
        const char* start = p;
        ++p;
        if (*p == '%') {
            out.push_back('%');
            continue;
        }
        Spec spec;
        for (;; ++p) {
            if (*p == '-') spec.left = true;
            else if (*p == '0') spec.zero = true;
            else if (*p == '+') spec.plus = true;
            else if (*p == ' ') spec.space = true;
            else if (*p == '#') spec.alt = true;
            else break;
        }
        if (*p == '*') {
            spec.width = va_arg(ap, int);
            if (spec.width < 0) {
                spec.left = true;
                spec.width = -spec.width;
            }
            ++p;
        } else {
            while (*p >= '0' && *p <= '9') spec.width = spec.width * 10 + (*p++ - '0');
        }
        if (*p == '.') {
            ++p;
            spec.precision = 0;
            if (*p == '*') {
                spec.precision = va_arg(ap, int);
                ++p;
            } else {
                while (*p >= '0' && *p <= '9') spec.precision = spec.precision * 10 + (*p++ - '0');
            }
        }
        // Size prefixes.
        if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
            spec.wide64 = true;
            p += 3;
        } else if (p[0] == 'l' && p[1] == 'l') {
            spec.wide64 = true;
            p += 2;
        } else if (*p == 'l') {
            spec.wideText = true;
            ++p;
        } else if (*p == 'h') {
            ++p;
            if (*p == 'h') ++p;
        } else if (*p == 'L') {
            ++p;
        }
        const char conversion = *p;
        switch (conversion) {
            case 'd':
            case 'i':
            case 'u':
            case 'x':
            case 'X':
            case 'o':
                FormatInteger(out, spec, conversion, ap);
                break;
            case 'c':
                Pad(out, std::string(1, static_cast<char>(va_arg(ap, int))), spec, false);
                break;
            case 's':
            case 'S': {
                std::string text;
                if (conversion == 'S' || spec.wideText) {
                    const char16_t* wide = va_arg(ap, const char16_t*);
                    text = wide != nullptr ? ::Utf16ToUtf8(wide) : "(null)";
                } else {
                    const char* narrow = va_arg(ap, const char*);
                    text = narrow != nullptr ? narrow : "(null)";
                }
                if (spec.precision >= 0 && static_cast<std::size_t>(spec.precision) < text.size()) {
                    text.resize(static_cast<std::size_t>(spec.precision));
                }
                Pad(out, text, spec, false);
                break;
            }
            default:
                // Unknown or truncated conversion: written as it stands.
                out.append(start, static_cast<std::size_t>(p - start) + (conversion != 0 ? 1 : 0));
                if (conversion == 0) --p;
                break;
        }
    }
    va_end(ap);
    return out;
}

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatV(format, args);
    va_end(args);
    return text;
}

bool Open(const char* path, const char* mode) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_stream != nullptr) CloseTextStream(g_stream);
    g_stream = OpenTextStream(path, mode);
    return g_stream != nullptr;
}

void Close() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_stream != nullptr) CloseTextStream(g_stream);
    g_stream = nullptr;
}

bool IsOpen() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_stream != nullptr;
}

void Write(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = FormatV(format, args);
    va_end(args);
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_stream != nullptr) WriteTextStream(g_stream, text.data(), text.size());
}

void WriteFlush(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = FormatV(format, args);
    va_end(args);
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_stream != nullptr) {
        WriteTextStream(g_stream, text.data(), text.size());
        FlushTextStream(g_stream);
    }
}

void Flush() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_stream != nullptr) FlushTextStream(g_stream);
}

}  // namespace AgentLog
