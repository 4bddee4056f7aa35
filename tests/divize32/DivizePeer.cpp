// divize32_peer - the other process in the library's tests.
//
//   divize32_peer echo <name>                  registers <name>, answers every
//                                              message with a reply (kind 1,
//                                              same sequence) to its source
//   divize32_peer hold <name>                  registers <name>
//   divize32_peer send <from> <to> <count>     sends <count> requests with
//                                              sequences 0..count-1
//
// echo and hold print "ready" (or "refused" when the name is taken) and
// serve until their standard input closes. send prints "sent <accepted>".
// None calls TermApplication: every mode also checks that a process ends
// cleanly without it.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "DivizeEntries.h"
#include "TestMessage.h"

namespace {

std::int32_t Echo(void* context, void* message, std::uint32_t) {
    if (message == nullptr) return 0;
    divize_test::MessageSpec reply;
    reply.source = static_cast<const char*>(context);
    reply.target = divize_test::SourceName(message);
    reply.kind = wire::kKindReply;
    reply.code = wire::GetI32(message, wire::kCode);
    reply.sequence = wire::GetU32(message, wire::kSequence);
    QueueMessageFree(message);
    std::uint8_t* out = divize_test::BuildMessage(reply);
    if (EnqueueMessage(out) == 0) QueueMessageFree(out);
    return 0;
}

std::int32_t Ignore(void*, void* message, std::uint32_t) {
    QueueMessageFree(message);
    return 0;
}

void WaitForStdinEof() {
    char buffer[64];
    while (read(STDIN_FILENO, buffer, sizeof(buffer)) > 0) {
    }
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 3) return 2;
    const std::string mode = argv[1];
    InitApplication();
    if (mode == "echo" || mode == "hold") {
        const std::uint32_t handle = CreateSvcNode(argv[2], argv[2], mode == "echo" ? Echo : Ignore);
        std::printf(handle != 0 ? "ready\n" : "refused\n");
        WaitForStdinEof();
        return 0;
    }
    if (mode == "send" && argc == 5) {
        const long count = std::strtol(argv[4], nullptr, 10);
        long accepted = 0;
        for (long i = 0; i < count; ++i) {
            divize_test::MessageSpec spec;
            spec.source = argv[2];
            spec.target = argv[3];
            spec.sequence = static_cast<std::uint32_t>(i);
            spec.items = {std::string(static_cast<std::size_t>(i % 100), 'p')};
            std::uint8_t* m = divize_test::BuildMessage(spec);
            if (EnqueueMessage(m) != 0) {
                ++accepted;
            } else {
                QueueMessageFree(m);
            }
        }
        std::printf("sent %ld\n", accepted);
        return 0;
    }
    return 2;
}
