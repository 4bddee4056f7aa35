// AgentLog.h - the agent's diagnostic log: one process-wide text stream.
//
// Each message is one printf-style write of a fixed format string; nothing
// adds a line break that the format does not contain. Formats follow the
// Windows runtime's printf as the agent uses it:
//   %d %i %u %x %X %o %c   32-bit integers (flags - 0 + space #, width,
//                          precision); the size prefixes h, l, L are accepted
//                          and read a 32-bit value ("%Ld" prints 32 bits),
//                          ll and I64 read 64 bits
//   %s                     narrow text (null prints "(null)")
//   %S, %ls                wide (UTF-16) text, written as UTF-8
//   %%                     a percent sign
// Writes while the log is not open are skipped. With mode "w+c" every Flush
// commits the written data to the disk.
//
// Thread-safety: all functions may be called from any thread; messages from
// different threads interleave whole.
#pragma once

#include <cstdarg>
#include <string>

namespace AgentLog {

bool Open(const char* path, const char* mode);
void Close();
bool IsOpen();

void Write(const char* format, ...);
void Flush();
// Write followed by Flush: how almost every message is logged.
void WriteFlush(const char* format, ...);

// The text that Write would produce; exposed for tests.
std::string Format(const char* format, ...);
std::string FormatV(const char* format, va_list args);

}  // namespace AgentLog
