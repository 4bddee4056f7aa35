// win32.h - the contract of the Windows-shaped platform layer.
//
// Everything above platform/ (text/, framework/, SRC/, tools/) reaches the
// operating system only through this header. Each call keeps the Windows
// semantics that its callers rely on; where Linux has no equivalent, the
// paragraph above the call says what stands in for it.
//
// Conventions for the whole header:
// - BOOL results are non-zero for success and 0 for failure; the reason of a
//   failure is then available from GetLastError() (errno is translated into
//   these codes in one place, platform/src/core/errors.cpp).
// - Timeouts are in milliseconds; 0 means "test and return at once" and
//   INFINITE means "no limit".
// - Wide text is UTF-16 (WCHAR = char16_t), as on Windows, not wchar_t.
// - Narrow text in the "ANSI" code page is UTF-8 on Linux.
// - Paths may use '\' or '/' as separator; '\' is turned into '/'.
//
// Thread-safety: every call here may be made from any thread unless its
// paragraph says otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

// ---------------------------------------------------------------------------
// Basic types and constants
// ---------------------------------------------------------------------------
using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = std::uint32_t;
using LCID = std::uint32_t;
using WCHAR = char16_t;
using HANDLE = void*;
using HWND = void*;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using FARPROC = void (*)();

struct ModuleObject;                 // opaque; defined by the implementation
using HMODULE = ModuleObject*;
using HINSTANCE = HMODULE;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
constexpr DWORD INFINITE = 0xFFFFFFFFu;

// ---------------------------------------------------------------------------
// Errors
// ---------------------------------------------------------------------------
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_INVALID_DATA = 13;
constexpr DWORD ERROR_HANDLE_EOF = 38;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_INVALID_THREAD_ID = 1444;
constexpr DWORD ERROR_RESOURCE_NAME_NOT_FOUND = 1814;
constexpr DWORD ERROR_EVENTLOG_FILE_CORRUPT = 1500;

// The calling thread's last error code (per thread, as on Windows).
DWORD GetLastError();
void SetLastError(DWORD code);

// ---------------------------------------------------------------------------
// Threads, ticks and the thread message queue
// ---------------------------------------------------------------------------
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_USER = 0x0400;

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
};

// Identifier of the calling thread; never 0, unique among live threads.
DWORD GetCurrentThreadId();

// Milliseconds since system start (monotonic clock), wrapping at 2^32.
DWORD GetTickCount();

// Every thread has a message queue, created on first use by either side: a
// message posted to a thread before it first waits is kept for it.
// GetMessageA blocks the calling thread until a message for it arrives
// (hwnd and the filter range are accepted and ignored: there are no windows)
// and returns 0 when the message retrieved is WM_QUIT, non-zero otherwise,
// -1 when msg is null. Messages are retrieved in the order they were posted.
BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax);

// Appends a message to the queue of the given thread. Fails with
// ERROR_INVALID_THREAD_ID for thread id 0.
BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);

// Posts WM_QUIT (wParam = exitCode) to the calling thread's queue.
void PostQuitMessage(int exitCode);

// There are no windows: both accept any thread message and do nothing.
// TranslateMessage returns 0; DispatchMessageA returns 0.
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);

// Linux stand-in for the quit message that Windows sends to a process from
// outside: after this call, SIGTERM and SIGINT post WM_QUIT to the given
// thread (through a dedicated signal thread, never from a signal handler).
// Call it on the main thread before any other thread is started, so that
// every thread inherits the blocked signal mask. Idempotent.
void PostQuitOnTerminationSignals(DWORD threadId);

// ---------------------------------------------------------------------------
// Kernel objects: mutexes and manual-reset events
// ---------------------------------------------------------------------------
constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
constexpr DWORD WAIT_ABANDONED = 0x00000080;
constexpr DWORD WAIT_TIMEOUT = 0x00000102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

// Unnamed recursive mutex: the owning thread may acquire it again and must
// release it once per acquisition. security and name must be null (named
// objects are not supported: a name fails with ERROR_NOT_SUPPORTED).
// initialOwner makes the calling thread the owner at once.
HANDLE CreateMutexA(void* security, BOOL initialOwner, const char* name);

// Releases one acquisition; fails (ERROR_NOT_OWNER semantics, reported as
// ERROR_ACCESS_DENIED) when the calling thread does not own the mutex.
BOOL ReleaseMutex(HANDLE mutex);

// Unnamed event. Only manual-reset events are required by the system;
// auto-reset ones (manualReset = FALSE) release one waiter per SetEvent.
HANDLE CreateEventA(void* security, BOOL manualReset, BOOL initialState, const char* name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// Waits for a mutex or an event. Returns WAIT_OBJECT_0 when acquired or
// signalled, WAIT_TIMEOUT when the limit ran out, WAIT_ABANDONED when a
// mutex was acquired from a thread that ended while owning it, WAIT_FAILED
// (with GetLastError) for an invalid handle.
DWORD WaitForSingleObject(HANDLE handle, DWORD timeoutMs);

// Releases a mutex, event or event-log handle object.
BOOL CloseHandle(HANDLE handle);

// ---------------------------------------------------------------------------
// Modules
// ---------------------------------------------------------------------------
// A Windows library name maps to a Linux shared object: the directory part is
// kept, the file part is lower-cased, its extension (".dll") removed, and it
// becomes "lib<name>.so" ("DIVIZE32.DLL" -> "libdivize32.so"). A name with a
// directory is loaded from there only. A bare name is searched, in order, in
// the test override directory (see win32_testing.h), the directory of the
// running executable, each directory of ORVANE_LIBRARY_PATH (colon-separated),
// and finally by the dynamic linker's usual search.
// LoadLibraryA counts references: the same module loaded twice needs two
// FreeLibrary calls.
HMODULE LoadLibraryA(const char* fileName);
BOOL FreeLibrary(HMODULE module);
FARPROC GetProcAddress(HMODULE module, const char* procName);

// null gives the running executable. "KERNEL32.DLL" (any case, with or
// without extension) gives a pseudo module standing for the system; it
// exports nothing, so RegisterServiceProcess is never found on Linux. Any
// other name gives a module loaded earlier with LoadLibraryA, or null.
HMODULE GetModuleHandleA(const char* moduleName);

// The module's full path (null: the running executable), cut to size - 1
// bytes plus NUL. Returns the number of bytes written without the NUL, 0 on
// failure.
DWORD GetModuleFileNameA(HMODULE module, char* fileName, DWORD size);

constexpr UINT SEM_FAILCRITICALERRORS = 0x0001;
constexpr UINT SEM_NOOPENFILEERRORBOX = 0x8000;
// Records the process error mode and returns the previous one. Linux shows no
// dialogs, so the mode changes nothing else.
UINT SetErrorMode(UINT mode);

// ---------------------------------------------------------------------------
// Sockets start-up and host name
// ---------------------------------------------------------------------------
struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[257];
    char szSystemStatus[129];
};
// Nothing needs starting on Linux: WSAStartup succeeds (0) for any version
// whose major part is 1 or 2 and fails (non-zero) otherwise; calls nest.
int WSAStartup(WORD versionRequested, WSADATA* data);
int WSACleanup();
// gethostname() of Windows sockets; named apart from the POSIX call. Returns
// 0, or -1 (SOCKET_ERROR) when the name does not fit.
int GetHostNameA(char* name, int size);

constexpr UINT CP_ACP = 0;
constexpr UINT CP_UTF8 = 65001;
// Narrow text (UTF-8 for both code pages here) to UTF-16. With
// sourceLength -1 the terminator is converted too. With destSize 0 returns
// the size needed in units; otherwise the units written, 0 when they do not
// fit (ERROR_INSUFFICIENT_BUFFER). Malformed bytes become U+FFFD.
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* source, int sourceLength,
                        WCHAR* dest, int destSize);

// ---------------------------------------------------------------------------
// Text streams (the runtime library's fopen/fprintf/fflush)
// ---------------------------------------------------------------------------
struct TextStream;   // opaque
// mode is an fopen mode plus the Windows runtime's 'c' flag: with 'c' every
// FlushTextStream commits the written data to the disk (fdatasync). The path
// may use '\'. Returns null when the file cannot be opened.
TextStream* OpenTextStream(const char* path, const char* mode);
// Writes the bytes as they are; returns the count written.
std::size_t WriteTextStream(TextStream* stream, const char* bytes, std::size_t count);
// 0 on success, -1 on failure.
int FlushTextStream(TextStream* stream);
void CloseTextStream(TextStream* stream);

// ---------------------------------------------------------------------------
// Time
// ---------------------------------------------------------------------------
struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

// 100-nanosecond intervals since 1601-01-01 00:00:00 UTC.
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct TIME_ZONE_INFORMATION {
    LONG Bias;                 // minutes; UTC = local time + Bias
    WCHAR StandardName[32];
    SYSTEMTIME StandardDate;   // wYear 0: recurring rule, wDay = week (5 = last)
    LONG StandardBias;
    WCHAR DaylightName[32];
    SYSTEMTIME DaylightDate;
    LONG DaylightBias;
};

constexpr DWORD TIME_ZONE_ID_UNKNOWN = 0;
constexpr DWORD TIME_ZONE_ID_STANDARD = 1;
constexpr DWORD TIME_ZONE_ID_DAYLIGHT = 2;
constexpr DWORD TIME_ZONE_ID_INVALID = 0xFFFFFFFF;

// All clock reads of the system go through the clock of this layer (see
// win32_testing.h for the seam that pins it). The zone is the process's
// local zone from the tz database (TZ honoured).

// The zone's settings from the tz database for the current year:
// TIME_ZONE_ID_UNKNOWN for a zone without daylight saving (then both dates
// are zero), otherwise TIME_ZONE_ID_DAYLIGHT while daylight saving is in
// effect now and TIME_ZONE_ID_STANDARD otherwise; TIME_ZONE_ID_INVALID when
// info is null.
DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* info);

// Shifts the instant by the zone's offset in effect NOW (standard offset,
// plus the daylight offset if daylight saving is in effect now), whatever
// the date of the instant, exactly as Windows does.
BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localFileTime);
// Fails for values at or above 0x8000000000000000.
BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);
// Fails (ERROR_INVALID_PARAMETER) for a year before 1601 or after 30827 or a
// field out of range; wDayOfWeek is ignored.
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);
void GetLocalTime(SYSTEMTIME* systemTime);
void GetSystemTime(SYSTEMTIME* systemTime);

// Stand-in for the two words of the kernel's TimeZoneBias at 0x7ffe0020 and
// 0x7ffe0024: the bias in effect now (UTC - local) in 100-ns units, as a
// signed 64-bit value split into its low and high halves.
void ReadKernelTimeZoneBias(DWORD* low, DWORD* high);

// The runtime library's time() on the layer's clock: seconds since 1970 UTC.
std::int64_t CurrentUnixTime();
// gmtime_r / localtime_r on 64-bit seconds; false when the value cannot be
// broken down.
bool BreakDownUtc(std::int64_t unixSeconds, std::tm* out);
bool BreakDownLocal(std::int64_t unixSeconds, std::tm* out);
// mktime: fields as local wall-clock time; tm_isdst -1 lets the zone rules
// decide. Returns -1 when the fields cannot be represented.
std::int64_t MakeLocalTime(std::tm* fields);

// ---------------------------------------------------------------------------
// System version and locale
// ---------------------------------------------------------------------------
struct OSVERSIONINFOW {
    DWORD dwOSVersionInfoSize;   // 276
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
};
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

// Fills the record when dwOSVersionInfoSize is 276.
BOOL GetVersionExW(OSVERSIONINFOW* info);

// The user's default locale as a Windows locale identifier (language in the
// low 10 bits, sub-language above), from LC_ALL, LC_MESSAGES or LANG.
LCID GetUserDefaultLCID();

constexpr int LC_ALL_CATEGORIES = 0;   // the only category the system uses
// setlocale() with Windows names. name null: returns the current name;
// "": switches to the user's default locale from the environment;
// "English": switches to a locale with English day and month names and
// AM/PM marks. The names returned are Windows style ("English_United
// States.1252", "Japanese_Japan.932", ...). Returns null when the switch
// fails; the locale is then unchanged.
const char* SetLocaleA(int category, const char* name);

// ---------------------------------------------------------------------------
// String helpers with the user's locale rules
// ---------------------------------------------------------------------------
int lstrcmpA(const char* a, const char* b);
int lstrcmpiA(const char* a, const char* b);
// Upper-cases in place; returns the argument.
char* CharUpperA(char* text);

// ---------------------------------------------------------------------------
// Files and string resources
// ---------------------------------------------------------------------------
using HFILE = int;
constexpr HFILE HFILE_ERROR = -1;
constexpr UINT OF_EXIST = 0x4000;
struct OFSTRUCT {
    BYTE cBytes;
    BYTE fFixedDisk;
    WORD nErrCode;
    WORD Reserved1;
    WORD Reserved2;
    char szPathName[128];
};
// Only OF_EXIST is supported: opens and closes the file; returns a non-error
// value when it exists and can be opened for reading, HFILE_ERROR otherwise.
HFILE OpenFile(const char* fileName, OFSTRUCT* info, UINT style);

// Copies string resource `id` of the module into buffer (at most size - 1
// bytes plus NUL) and returns the bytes copied without the NUL; 0 when the
// module has no such string. A null module means the running executable.
int LoadStringA(HINSTANCE module, UINT id, char* buffer, int size);

// ---------------------------------------------------------------------------
// Event log
// ---------------------------------------------------------------------------
constexpr DWORD EVENTLOG_SEQUENTIAL_READ = 0x0001;
constexpr DWORD EVENTLOG_SEEK_READ = 0x0002;
constexpr DWORD EVENTLOG_FORWARDS_READ = 0x0004;
constexpr DWORD EVENTLOG_BACKWARDS_READ = 0x0008;

// Source of the log named `source` (only "System" is known):
// - when EVENTLOG_DIR is set: the legacy event-log file $EVENTLOG_DIR/<source>.evt;
// - otherwise: the System log synthesised from this machine's boot history.
// server must be null (the local machine). Returns null on failure.
HANDLE OpenEventLogW(const WCHAR* server, const WCHAR* source);
BOOL CloseEventLog(HANDLE eventLog);
BOOL GetOldestEventLogRecord(HANDLE eventLog, DWORD* oldestRecord);
BOOL GetNumberOfEventLogRecords(HANDLE eventLog, DWORD* numberOfRecords);
// Reads records in the EVENTLOGRECORD layout. With EVENTLOG_SEEK_READ the
// read starts at record number recordOffset, in O(1). Fails with
// ERROR_INSUFFICIENT_BUFFER (and *minBytesNeeded set) when the first record
// does not fit, ERROR_HANDLE_EOF past the last record, ERROR_INVALID_PARAMETER
// for a record number outside the log.
BOOL ReadEventLogW(HANDLE eventLog, DWORD readFlags, DWORD recordOffset, void* buffer,
                   DWORD bytesToRead, DWORD* bytesRead, DWORD* minBytesNeeded);
