// framework_test_node - a node in a process of its own, for the tests.
//
//   framework_test_node NAME echo     answers code 13 with result 0 and one
//                                     binary item, code 7 with result 3 and no
//                                     item, any other code with result code+100
//                                     and its parameters echoed
//   framework_test_node NAME silent   raw mode: receives everything, answers nothing
//
// Prints "ready" once registered (or "unconnected" and exits 4), then serves
// until SIGTERM.
#include <cstdio>
#include <cstring>
#include <string>

#include "framework/Command.h"
#include "framework/MessageQueueLibrary.h"
#include "framework/ServiceNode.h"
#include "win32/win32.h"

namespace {

// Every byte value that could trip a text pipe: NUL, newline, CR, 0xFF.
const unsigned char kReport[] = {0x00, 0x01, '\n', '\r', 0xFF, 'O', 'K', 0x00, 0x7F, 0x80};

class EchoNode : public ServiceNode {
public:
    EchoNode(const char* nodeName, int raw) : ServiceNode(nodeName, raw, 0) {}
    ~EchoNode() override { Disconnect(); }
    int HandleCommand(Command& command) override {
        if (command.GetCode() == 13) {
            command.AddReply(kReport, sizeof kReport);
        } else if (command.GetCode() == 7) {
            command.SetResult(3);
        } else {
            command.SetResult(command.GetCode() + 100);
            for (std::uint32_t i = 0; i < command.GetParameterCount(); ++i) {
                command.AddReply(command.GetParameter(i), command.GetParameterLength(i));
            }
        }
        return 1;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: framework_test_node NAME echo|silent\n");
        return 2;
    }
    PostQuitOnTerminationSignals(GetCurrentThreadId());
    int status = 0;
    {
        EchoNode node(argv[1], std::strcmp(argv[2], "silent") == 0 ? 1 : 0);
        if (!node.IsConnected()) {
            std::printf("unconnected\n");
            std::fflush(stdout);
            status = 4;
        } else {
            std::printf("ready\n");
            std::fflush(stdout);
            node.Run();
        }
    }
    ShutdownMessageQueueLibrary();
    return status;
}
