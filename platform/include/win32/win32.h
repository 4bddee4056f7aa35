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
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_HANDLE_EOF = 38;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_INVALID_THREAD_ID = 1444;
constexpr DWORD ERROR_RESOURCE_NAME_NOT_FOUND = 1814;
constexpr DWORD ERROR_EVENTLOG_FILE_CORRUPT = 1500;

// The calling thread's last error code (per thread, as on Windows). A call
// sets it only when it fails, unless its paragraph says otherwise. errno
// values without a closer Windows code become ERROR_GEN_FAILURE.
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
// ERROR_INVALID_THREAD_ID for thread id 0 and for an id that is no live
// thread of this process. The queue of a thread that ended is released.
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
// every thread inherits the blocked signal mask. It also ignores SIGPIPE
// process-wide (a vanished peer must not end the process). A later call only
// changes the thread that receives WM_QUIT. The signal thread is stopped and
// joined at process exit.
void PostQuitOnTerminationSignals(DWORD threadId);

// ---------------------------------------------------------------------------
// Kernel objects: mutexes and manual-reset events
// ---------------------------------------------------------------------------
constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
constexpr DWORD WAIT_ABANDONED = 0x00000080;
constexpr DWORD WAIT_TIMEOUT = 0x00000102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

// Unnamed recursive mutex: the owning thread may acquire it again and must
// release it once per acquisition. security is ignored; name must be null or
// empty (named objects are not supported: a name fails with
// ERROR_NOT_SUPPORTED). initialOwner makes the calling thread the owner at
// once. A thread that ends while owning the mutex abandons it: the next
// thread to acquire it gets WAIT_ABANDONED (and owns it normally).
HANDLE CreateMutexA(void* security, BOOL initialOwner, const char* name);

// Releases one acquisition; fails (ERROR_NOT_OWNER semantics, reported as
// ERROR_ACCESS_DENIED) when the calling thread does not own the mutex.
BOOL ReleaseMutex(HANDLE mutex);

// Unnamed event (security ignored, name as for CreateMutexA). Only
// manual-reset events are required by the system: SetEvent releases every
// waiter and the event stays signalled until ResetEvent. Auto-reset ones
// (manualReset = FALSE) release one waiter per SetEvent and reset with it.
HANDLE CreateEventA(void* security, BOOL manualReset, BOOL initialState, const char* name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// Waits for a mutex or an event. Returns WAIT_OBJECT_0 when acquired or
// signalled, WAIT_TIMEOUT when the limit ran out, WAIT_ABANDONED when a
// mutex was acquired from a thread that ended while owning it, WAIT_FAILED
// (ERROR_INVALID_HANDLE) for a closed or unknown handle or one that cannot be
// waited on (an event-log handle). Timed waits measure the limit on the
// monotonic clock and work under libfaketime.
DWORD WaitForSingleObject(HANDLE handle, DWORD timeoutMs);

// Removes a mutex, event or event-log handle from the process's handle
// table; FALSE (ERROR_INVALID_HANDLE) when it is not there. Handle values
// are not reused, so a closed handle stays invalid. A call still running
// on the object on another thread finishes normally.
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
// and finally by the dynamic linker's usual search. In each directory the
// first file that exists decides: one that cannot be loaded fails the call.
// A file name that already is a shared-object name ("libx.so", "libx.so.1")
// is used as it is.
// LoadLibraryA counts references: the same module loaded twice (under any
// of its names) is one HMODULE and needs two FreeLibrary calls; the last one
// unloads it. Failure: null with ERROR_MOD_NOT_FOUND (ERROR_INVALID_PARAMETER
// for a null or empty name). An HMODULE stays a safe value after its module
// was freed: calls on it fail with ERROR_INVALID_HANDLE.
HMODULE LoadLibraryA(const char* fileName);
// FALSE (ERROR_INVALID_HANDLE) for a module that is not loaded. The
// executable and the KERNEL32 pseudo module are never unloaded (TRUE).
BOOL FreeLibrary(HMODULE module);
// dlsym of the module. Null with ERROR_INVALID_HANDLE for a null, unknown
// or freed module; ERROR_PROC_NOT_FOUND for a missing entry or an ordinal
// (a value below 0x10000); ERROR_INVALID_PARAMETER for a null name.
FARPROC GetProcAddress(HMODULE module, const char* procName);

// null gives the running executable. "KERNEL32.DLL" (any case, with or
// without extension) gives a pseudo module standing for the system; it
// exports nothing, so RegisterServiceProcess is never found on Linux (its
// file name is "KERNEL32.DLL"; LoadLibraryA of that name gives it too). Any
// other name gives a module loaded earlier with LoadLibraryA and still
// loaded, or null (ERROR_MOD_NOT_FOUND): a bare name matches the file name
// of the module after the name mapping, a name with a directory the full
// path. No reference is added.
HMODULE GetModuleHandleA(const char* moduleName);

// The module's full path (null: the running executable), cut to size - 1
// bytes plus NUL. Returns the number of bytes written without the NUL, 0 on
// failure (ERROR_INVALID_HANDLE for a module not loaded, ERROR_INVALID_PARAMETER
// for a null buffer, ERROR_INSUFFICIENT_BUFFER for size 0). Unlike Windows,
// which returns size when it cuts, a cut path returns size - 1 with the last
// error ERROR_INSUFFICIENT_BUFFER; a whole path sets ERROR_SUCCESS.
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
constexpr int SOCKET_ERROR = -1;
constexpr int WSAEFAULT = 10014;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
// Nothing needs starting on Linux: WSAStartup succeeds (0) for any version
// whose major part (low byte) is 1 or 2 and returns WSAVERNOTSUPPORTED
// otherwise (WSAEFAULT for a null data); calls nest. WSACleanup undoes one
// successful WSAStartup: 0, or SOCKET_ERROR (WSANOTINITIALISED) when none
// is left.
int WSAStartup(WORD versionRequested, WSADATA* data);
int WSACleanup();
// gethostname() of Windows sockets; named apart from the POSIX call. Returns
// 0, or -1 (SOCKET_ERROR, last error WSAEFAULT) when the name and its NUL do
// not fit in size bytes. It does not require WSAStartup.
int GetHostNameA(char* name, int size);

constexpr UINT CP_ACP = 0;
constexpr UINT CP_UTF8 = 65001;
// Narrow text (UTF-8 for both code pages here) to UTF-16. With
// sourceLength -1 the terminator is converted too. With destSize 0 returns
// the size needed in units; otherwise the units written, 0 when they do not
// fit (ERROR_INSUFFICIENT_BUFFER; nothing is written then). Malformed bytes
// become U+FFFD, one for each maximal ill-formed part (Unicode's
// recommended practice); characters above U+FFFF become surrogate pairs.
// flags are ignored. Other code pages, a null source, sourceLength 0 or
// below -1, and a negative destSize fail with ERROR_INVALID_PARAMETER.
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* source, int sourceLength,
                        WCHAR* dest, int destSize);

// ---------------------------------------------------------------------------
// Text streams (the runtime library's fopen/fprintf/fflush)
// ---------------------------------------------------------------------------
struct TextStream;   // opaque
// mode is an fopen mode ("r", "w" or "a", then '+', 'b', 'x') plus the
// Windows runtime's flags 'c' (every FlushTextStream, and the close, commits
// the written data to the disk with fdatasync), 'n' (no commit, the default)
// and 't' (text; no effect). The path may use '\'. Returns null when the
// file cannot be opened (GetLastError from errno; ERROR_INVALID_PARAMETER for
// a null argument or a mode that does not start with r, w or a). The
// descriptor is not inherited by child processes.
// Thread-safety: one stream may be used by several threads; each call is
// atomic (stdio locking), so writes interleave call by call.
TextStream* OpenTextStream(const char* path, const char* mode);
// Writes the bytes as they are; returns the count written (0 for a null
// stream).
std::size_t WriteTextStream(TextStream* stream, const char* bytes, std::size_t count);
// 0 on success, -1 on failure (also for a null stream).
int FlushTextStream(TextStream* stream);
// Flushes (and commits, with 'c'), closes and frees the stream; null is
// ignored.
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

// All clock reads of the system go through the clock of this layer: the
// real clock is clock_gettime(CLOCK_REALTIME) (which libfaketime moves), and
// win32_testing::SetFixedClock pins it for every call below at once. The
// zone is the process's local zone from the tz database (TZ honoured; after
// a change of TZ at run time, win32_testing::ReloadTimeZone). "Now" in a
// paragraph means the layer's clock at the time of the call. None of these
// calls blocks.

// The zone's settings for the current year (the local year of now), derived
// from the tz database by locating the year's offset changes:
// - Bias = -(standard UTC offset) in minutes; StandardBias 0; DaylightBias =
//   -(daylight offset - standard offset), usually -60.
// - DaylightDate: when daylight time begins, given in standard local time;
//   StandardDate: when standard time begins, given in daylight local time.
//   Both are recurring rules: wYear 0, wMonth, wDayOfWeek (0 = Sunday),
//   wDay = week of the month 1-4, or 5 when the transition falls on the
//   month's last such weekday, wHour/wMinute/wSecond of the local clock.
// - StandardName/DaylightName: the tz database's abbreviations ("EST",
//   "EDT", "AEST", "+0545"), as UTF-16.
// Daylight time is the regime with the larger UTC offset (where the tz
// database marks winter as daylight saving with a negative save, as for
// Europe/Dublin, the Windows convention wins: summer is daylight time).
// Returns TIME_ZONE_ID_DAYLIGHT while daylight time is in effect now,
// TIME_ZONE_ID_STANDARD otherwise, and TIME_ZONE_ID_UNKNOWN when the current
// year does not have both transitions (a zone without daylight saving, or
// one that ends or starts it that year): then Bias is the current offset,
// both dates and DaylightBias are 0 and both names are the current
// abbreviation. TIME_ZONE_ID_INVALID (ERROR_INVALID_PARAMETER) when info is
// null. The year's rules are cached; the status is computed at each call.
DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* info);

// Shifts the instant by the zone's UTC offset in effect NOW (standard
// offset, plus the daylight offset if daylight time is in effect now),
// whatever the date of the instant, exactly as Windows does. Fails
// (ERROR_INVALID_PARAMETER) for a null argument, an input at or above
// 0x8000000000000000, or a result outside 0..0x7FFFFFFFFFFFFFFF; the output
// is then untouched.
BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localFileTime);
// Calendar fields of a FILETIME (no zone involved), wDayOfWeek included;
// units below the millisecond are dropped. Fails (ERROR_INVALID_PARAMETER)
// for a null argument and for values at or above 0x8000000000000000.
BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);
// Fails (ERROR_INVALID_PARAMETER, output untouched) for a null argument, a
// year before 1601 or after 30827, or any field out of range (month 1-12,
// day within the month, hour < 24, minute and second < 60, milliseconds
// < 1000); wDayOfWeek is ignored.
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);
// Now as local wall-clock fields (with the offset in effect now) and as UTC
// fields, milliseconds included. A null argument is ignored.
void GetLocalTime(SYSTEMTIME* systemTime);
void GetSystemTime(SYSTEMTIME* systemTime);

// Stand-in for the two words of the kernel's TimeZoneBias at 0x7ffe0020
// (low) and 0x7ffe0024 (high): the bias in effect now (UTC - local, so
// 240 minutes in New York in summer) in 100-ns units, as a signed 64-bit
// value split into its low and high halves. A null pointer is skipped.
void ReadKernelTimeZoneBias(DWORD* low, DWORD* high);

// The runtime library's time() on the layer's clock: seconds since 1970 UTC,
// rounded towards the past.
std::int64_t CurrentUnixTime();
// gmtime_r / localtime_r on 64-bit seconds; false when the value cannot be
// broken down (the year does not fit an int) or out is null.
bool BreakDownUtc(std::int64_t unixSeconds, std::tm* out);
bool BreakDownLocal(std::int64_t unixSeconds, std::tm* out);
// mktime: fields as local wall-clock time, normalised in place; tm_isdst -1
// lets the zone's rules for that date decide. Returns -1 when the fields
// cannot be represented (or name 1969-12-31 23:59:59 UTC).
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

// The layer presents itself as a current member of the NT family: platform
// VER_PLATFORM_WIN32_NT, version 10.0, build 0, and szCSDVersion "Linux
// <kernel release>" for a reader of diagnostics (the Linux kernel's version
// numbers would read as an unrelated Windows version).
// win32_testing::SetVersionOverride makes it report other values (4.0).
// Fails with ERROR_INSUFFICIENT_BUFFER when dwOSVersionInfoSize is not 276
// (the record is then untouched), ERROR_INVALID_PARAMETER for null.
BOOL GetVersionExW(OSVERSIONINFOW* info);

// The user's default locale is a POSIX locale name: the test override
// (win32_testing::SetUserLocaleOverride), else the first non-empty of
// LC_ALL, LC_MESSAGES and LANG, else "C". A built-in table maps its
// language and territory ("ja_JP.UTF-8" -> ja, JP; codeset and @modifier
// ignored; old codes iw, in, no accepted) to a Windows locale identifier and
// to the Windows runtime's name "<Language>_<Country>.<ANSI code page>".
// A territory missing from the table takes the language's main row
// ("de_BE" -> German_Germany, 0x0407).

// The identifier of the user's default locale (language in the low 10 bits,
// sub-language above): 0x0411 for ja_JP, 0x0407 for de_DE, 0x0804 for zh_CN,
// 0x0404 for zh_TW ...; 0x0409 (English, United States) for C and POSIX;
// 0x1000 (LOCALE_CUSTOM_UNSPECIFIED, as Windows reports a locale without an
// identifier) for a language missing from the table.
LCID GetUserDefaultLCID();

constexpr int LC_ALL_CATEGORIES = 0;   // the only category the system uses
// setlocale() with Windows names, for all categories at once:
// - name null: returns the current name (initially "C").
// - "": switches to the user's default locale. The name reported is the
//   Windows name derived from the POSIX name ("ja_JP.UTF-8" ->
//   "Japanese_Japan.932"; C, C.UTF-8 and POSIX -> "C"; a language missing
//   from the table -> the POSIX name itself), even when the C library has no
//   such locale installed: the C library's locale then falls back to
//   C.UTF-8, else C. So the name always tells what the user chose, and the
//   "Japanese_Japan" prefix test works on a machine without Japanese.
// - "English" (any case), or "English_<Country>[.cp]" from the table:
//   reported as "English_United States.1252" (or that country's name); the
//   C library's locale becomes C.UTF-8, else C, whose day and month names
//   and AM/PM marks are the English ones, whatever the user's locale is.
// - "C" or "POSIX": the C locale, reported as "C".
// - another Windows name from the table ("Japanese", "German_Germany.1252"):
//   reported by its table name; the C library tries <lang>_<TERRITORY>.UTF-8,
//   then C.UTF-8, then C.
// Returns null, leaving the locale unchanged, for any other name (POSIX
// names included) or any category but LC_ALL_CATEGORIES. A returned name
// stays valid for the life of the process.
// Process-wide, as the runtime's setlocale: not to be called while another
// thread formats text with the C library (strftime, printf of numbers).
const char* SetLocaleA(int category, const char* name);

// ---------------------------------------------------------------------------
// String helpers with the user's locale rules
// ---------------------------------------------------------------------------
// Collation of the process locale (strcoll, so plain byte order in the "C"
// locale), folded to -1, 0 or 1. A null text sorts before every text,
// including the empty one; two nulls are equal.
int lstrcmpA(const char* a, const char* b);
// The same after folding ASCII letters to lower case; other bytes (UTF-8
// sequences) are compared as they are.
int lstrcmpiA(const char* a, const char* b);
// Upper-cases ASCII letters in place and returns the argument; bytes of
// 0x80 and above (parts of UTF-8 sequences) are left alone. As on Windows,
// a "pointer" below 0x10000 is one character in the low byte, and the
// upper-cased character is returned the same way.
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
// value when it exists and can be opened for reading, HFILE_ERROR otherwise
// (GetLastError and info->nErrCode say why; ERROR_NOT_SUPPORTED without
// OF_EXIST). A "*.dll" path that does not exist is also tried under the
// shared-object name LoadLibraryA maps it to ("en\Res.dll" ->
// "en/libres.so"), so that an existence test agrees with the load that
// follows it. info->szPathName receives the full path of the file tested,
// cut to 127 bytes plus NUL.
HFILE OpenFile(const char* fileName, OFSTRUCT* info, UINT style);

// String resources. Linux modules carry no resource section: a module's
// string table is returned by an exported C function named
// STRING_TABLE_SYMBOL, as an array of STRINGRESOURCE rows ended by a row
// whose text is null. The rows stay inside the module (a function, not an
// exported array, so that the tables of several modules never clash):
//
//   #include "win32/win32.h"
//   namespace { constexpr STRINGRESOURCE kStrings[] = {
//       {1, "Hello"}, {2, "Goodbye"}, {0, nullptr}}; }
//   extern "C" const STRINGRESOURCE* OrvaneStringTable() { return kStrings; }
//
// A resource library is a shared library built from such a source (CMake:
// add_resource_library, text/README-resources.md); an executable carries its
// own table when it exports the function (ENABLE_EXPORTS). Texts are narrow
// text (UTF-8); ids need not be sorted, and the first row with an id wins.
struct STRINGRESOURCE {
    UINT id;
    const char* text;
};
inline constexpr const char* STRING_TABLE_SYMBOL = "OrvaneStringTable";
extern "C" const STRINGRESOURCE* OrvaneStringTable();

// Copies string resource `id` of the module into buffer (at most size - 1
// bytes plus NUL) and returns the bytes copied without the NUL; 0 when the
// module has no such string (ERROR_RESOURCE_NAME_NOT_FOUND; an empty string
// counts as none, as on Windows), when the module is unknown or freed
// (ERROR_INVALID_HANDLE) or when buffer is null or size is below 1
// (ERROR_INVALID_PARAMETER). A null module means the running executable.
// Does not block; the text belongs to the caller's buffer.
int LoadStringA(HINSTANCE module, UINT id, char* buffer, int size);

// ---------------------------------------------------------------------------
// Event log
// ---------------------------------------------------------------------------
constexpr DWORD EVENTLOG_SEQUENTIAL_READ = 0x0001;
constexpr DWORD EVENTLOG_SEEK_READ = 0x0002;
constexpr DWORD EVENTLOG_FORWARDS_READ = 0x0004;
constexpr DWORD EVENTLOG_BACKWARDS_READ = 0x0008;

// An event-log handle reads records in the EVENTLOGRECORD layout, numbered
// consecutively from the oldest. None of these calls blocks beyond reading a
// local file. A handle may be used from several threads; it is closed with
// CloseEventLog or CloseHandle.
//
// Where the log named `source` comes from (names are not case-sensitive):
// - EVENTLOG_DIR set and not empty: the legacy event-log file
//   $EVENTLOG_DIR/<source>.evt (matched without regard to case), any source
//   name. The file is opened and walked once; only the offsets of its
//   records are kept. Wrapped logs and headers left dirty are read in full.
//   A missing file fails with ERROR_FILE_NOT_FOUND, an unreadable one with
//   the system's reason, one that is not an event-log file (bad header, no
//   end-of-file record) with ERROR_EVENTLOG_FILE_CORRUPT.
// - otherwise: only "System", synthesised from this machine's boot history
//   in wtmp (/var/log/wtmp, or the file named by ORVANE_WTMP): 6005 for each
//   boot, 6006 for each shutdown, 6008 after the 6005 of a boot that had no
//   shutdown before it (data: the last sign of life as two SYSTEMTIMEs,
//   local then UTC; insertion strings: its local time and date, as
//   "11:59:02 PM" and "7/4/2005"), and a 6005 for the current boot when
//   wtmp lacks it. Source "EventLog", computer = the host name. A missing
//   wtmp is an empty history; other names fail with ERROR_FILE_NOT_FOUND.
// server must be null or empty (the local machine; others fail with
// ERROR_NOT_SUPPORTED); a source that is not a plain file name fails with
// ERROR_INVALID_PARAMETER. Returns null on failure.
HANDLE OpenEventLogW(const WCHAR* server, const WCHAR* source);
// Closes the handle; ERROR_INVALID_HANDLE when it is not an open event log.
BOOL CloseEventLog(HANDLE eventLog);
// The number of the oldest record (0 for an empty log written so).
BOOL GetOldestEventLogRecord(HANDLE eventLog, DWORD* oldestRecord);
// The number of records, as fixed when the handle was opened.
BOOL GetNumberOfEventLogRecords(HANDLE eventLog, DWORD* numberOfRecords);
// Copies as many whole records as fit into buffer, the first one required,
// and sets *bytesRead. readFlags: exactly one of EVENTLOG_SEEK_READ and
// EVENTLOG_SEQUENTIAL_READ, and exactly one of EVENTLOG_FORWARDS_READ and
// EVENTLOG_BACKWARDS_READ (ERROR_INVALID_PARAMETER otherwise).
// With EVENTLOG_SEEK_READ the read starts at record number recordOffset, in
// O(1); a number outside the log fails with ERROR_INVALID_PARAMETER.
// Sequential reads start at the oldest (forwards) or newest (backwards)
// record, or after the records of the last read, and fail with
// ERROR_HANDLE_EOF past the end. When the first record does not fit, the
// read fails with ERROR_INSUFFICIENT_BUFFER and *minBytesNeeded = its
// length, and the position does not move. A damaged record, or one changed
// or cut off since the open, fails with ERROR_EVENTLOG_FILE_CORRUPT; a
// record handed out always has its names, strings and data inside its
// Length.
BOOL ReadEventLogW(HANDLE eventLog, DWORD readFlags, DWORD recordOffset, void* buffer,
                   DWORD bytesToRead, DWORD* bytesRead, DWORD* minBytesNeeded);
