// evt-gen OUTPUT N - writes a System log of N records for benchmarks.
//
// One record in ten qualifies for the availability scan (6005, 6006 and 6008
// in turn, the 6008s with the 32-byte data section and two insertion
// strings); the rest are ordinary events of other sources. The contents
// depend only on N (fixed seed).
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "EvtWriter.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUTPUT N\n", argv[0]);
        return 2;
    }
    char* end = nullptr;
    unsigned long n = std::strtoul(argv[2], &end, 10);
    if (!end || *end || n > 10'000'000ul) {
        std::fprintf(stderr, "evt-gen: bad record count %s\n", argv[2]);
        return 2;
    }

    std::mt19937 random(20050701u);
    std::uniform_int_distribution<std::uint32_t> step(1, 600);
    std::uniform_int_distribution<std::uint32_t> otherId(1, 5000);
    std::uniform_int_distribution<std::size_t> textLength(0, 60);
    const std::u16string sources[] = {u"Service Control Manager", u"Tcpip", u"W32Time", u"Disk"};

    std::vector<evtwriter::Record> records;
    records.reserve(n);
    std::uint32_t time = 1104537600u;   // 2005-01-01 00:00:00 UTC
    for (unsigned long i = 0; i < n; ++i) {
        time += step(random);
        if (i % 10 == 9) {
            static const std::uint32_t kQualifying[] = {6005, 6006, 6008};
            std::uint32_t id = kQualifying[(i / 10) % 3];
            evtwriter::RecordBuilder b(0x80000000u | id);
            b.Time(time).Computer(u"BENCHHOST");
            if (id == 6008) {
                SYSTEMTIME t{2005, 7, 5, 1, 12, 0, 0, 0};   // Friday 2005-07-01 12:00:00
                b.Type(1).Strings({u"11:59:02 PM", u"7/4/2005"}).Data(evtwriter::SystemTimes(t, t));
            }
            records.push_back(b.Build());
        } else {
            std::u16string text(textLength(random), u'x');
            records.push_back(evtwriter::RecordBuilder(otherId(random))
                                  .Time(time)
                                  .Source(sources[i % 4])
                                  .Computer(u"BENCHHOST")
                                  .Strings({text})
                                  .Build());
        }
    }
    if (!evtwriter::WriteLog(argv[1], records, {})) {
        std::fprintf(stderr, "evt-gen: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
