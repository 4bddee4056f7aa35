// Recovery of the time of an unexpected shutdown (event 6008).
#include <cstring>
#include <string>

#include "AppFramework/DateTime.h"
#include "Core/EventLogRecord.h"
#include "OrvaneAgent/AgentLog.h"
#include "OrvaneAgent/OrvaneAgent.h"

namespace {

constexpr std::uint32_t kSystemTimeSize = 16;
constexpr std::int64_t kFileTimeUnitsPerMinute = 600000000LL;

SYSTEMTIME ReadSystemTime(const std::uint8_t* at) {
    WORD fields[8];
    for (int i = 0; i < 8; ++i) fields[i] = static_cast<WORD>(at[2 * i] | (at[2 * i + 1] << 8));
    return SYSTEMTIME{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6], fields[7]};
}

std::int64_t FileTimeValue(const FILETIME& time) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                     time.dwLowDateTime);
}

FILETIME MakeFileTime(std::int64_t value) {
    const auto bits = static_cast<std::uint64_t>(value);
    return FILETIME{static_cast<DWORD>(bits), static_cast<DWORD>(bits >> 32)};
}

}  // namespace

std::u16string OrvaneAgent::RecoverShutdownTime(const BYTE* record, std::size_t size) {
    const EventLogRecord view(record, size);

    // 1. Windows version.
    bool platformMatched = false;
    bool majorMatched = false;
    bool minorMatched = false;
    bool nt40 = false;
    bool japanese = false;
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = 276;
    GetVersionExW(&version);
    AgentLog::WriteFlush("osvi.dwPlatformId:        %Ld\n", version.dwPlatformId);
    AgentLog::WriteFlush("osvi.dwMajorVersion:        %Ld\n", version.dwMajorVersion);
    AgentLog::WriteFlush("osvi.dwMinorVersion:        %Ld\n", version.dwMinorVersion);
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        platformMatched = true;
        AgentLog::Write("Windows NT 4.0 Platform matched !!!\n");
    }
    if (version.dwMajorVersion == 4) {
        majorMatched = true;
        AgentLog::Write("Windows NT 4.0 Major Version matched !!!\n");
    }
    if (version.dwMinorVersion == 0) {
        minorMatched = true;
        AgentLog::Write("Windows NT 4.0 Minor Version matched !!!\n");
    }
    if (platformMatched && majorMatched && minorMatched) {
        nt40 = true;
        AgentLog::WriteFlush("Windows NT 4.0 platform detected !!!\n");
    }

    // 2. The user's default locale.
    AgentLog::Write("Before setlocale( LC_ALL,\"\") setlocale()=%s\n", SetLocaleA(LC_ALL_CATEGORIES, nullptr));
    SetLocaleA(LC_ALL_CATEGORIES, "");
    const char* current = SetLocaleA(LC_ALL_CATEGORIES, nullptr);
    AgentLog::Write("After setlocale( LC_ALL,\"\") setlocale()=%s\n", current);
    if (current != nullptr && std::strncmp(current, "Japanese_Japan", 14) == 0) {
        japanese = true;
        AgentLog::Write("OS Japanese locale detected !!!\n");
    }
    SetLocaleA(LC_ALL_CATEGORIES, "English");
    AgentLog::WriteFlush("After setlocale( LC_ALL,\"English\") setlocale()=%s\n",
                         SetLocaleA(LC_ALL_CATEGORIES, nullptr));

    // 3. The insertion strings, joined.
    std::u16string text;
    for (const std::u16string& piece : view.InsertionStrings()) text += piece;

    // 4. Without a whole SYSTEMTIME inside the record, the strings are the text.
    const std::uint8_t* data = view.Data();
    const std::uint32_t dataLength = view.DataLength();
    if (data != nullptr && dataLength >= kSystemTimeSize) {
        // 5. The second SYSTEMTIME when there is a whole one, else the first.
        const std::int32_t offset = dataLength >= 2 * kSystemTimeSize ? 16 : 0;
        SYSTEMTIME when = ReadSystemTime(data + offset);
        AgentLog::Write("\nSystem Time for Event 6008 \n");
        FormatSystemTime(when, dateText_);
        AgentLog::WriteFlush("6008 event System Date: %s \n", dateText_);

        // 6.
        LogTimeZoneInformation();
        LogClocks();

        // 7, 8. Shift by the zone's standard bias.
        FILETIME fileTime{};
        const bool representable = SystemTimeToFileTime(&when, &fileTime) != 0;
        TIME_ZONE_INFORMATION zone{};
        const DWORD zoneResult = GetTimeZoneInformation(&zone);
        if (zoneResult == TIME_ZONE_ID_STANDARD || zoneResult == TIME_ZONE_ID_DAYLIGHT) {
            if (representable) {
                const std::int64_t shift =
                    static_cast<std::int64_t>(zone.Bias + zone.StandardBias) * kFileTimeUnitsPerMinute;
                const FILETIME shifted = MakeFileTime(FileTimeValue(fileTime) - shift);
                FileTimeToSystemTime(&shifted, &when);
            }
        } else if (zoneResult == TIME_ZONE_ID_UNKNOWN) {
            AgentLog::Write("\nTIME_ZONE_ID_UNKNOWN !!!\n");
            FormatSystemTime(when, dateText_);
            AgentLog::WriteFlush("Before convert to FileTime -> 6008 event System Date: %s \n", dateText_);
            if (japanese && nt40) {
                AgentLog::Write("Windows NT Japanese version detected, no conversion is needed !!! \n");
            } else {
                FILETIME local{};
                if (representable && FileTimeToLocalFileTime(&fileTime, &local)) {
                    FileTimeToSystemTime(&local, &when);
                }
                AgentLog::Write("Other Windows NT versions detected, conversion is done !!! \n");
            }
            FormatSystemTime(when, dateText_);
            AgentLog::WriteFlush("After convert to SysTime -> 6008 event System Date: %s \n", dateText_);
        }

        // 9. Read as local wall-clock time, shown from its UTC fields.
        text = DateTime::FromLocalFields(when).FormatUtc("%I:%M:%S %p%m/%d/%y");

        // 10.
        LogTimeZoneInformation();
        LogClocks();
        AgentLog::WriteFlush("offset: %Ld\n", offset);
        AgentLog::WriteFlush("timeGenerated1.Format -- 6008 no conversion2: %S\n", text.c_str());
    }

    // 11.
    AgentLog::WriteFlush("6008 restart time = %S\n", text.c_str());
    return text;
}
