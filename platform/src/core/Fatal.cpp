#include "core/Fatal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace win32_internal {

void Fatal(const char* what, int error) {
    char text[256];
    // GNU strerror_r may return a static string instead of filling text.
    const char* reason = strerror_r(error, text, sizeof text);
    std::fprintf(stderr, "platform: %s failed: %s\n", what, reason);
    std::fflush(stderr);
    std::abort();
}

}  // namespace win32_internal
