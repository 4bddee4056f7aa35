// orvane-query - asks one node of the message-queue service and prints the reply.
//
// The request is sent from a node of its own, "orvane-query.<pid>", and
// waited for with SendCommandAndWait: the library's timer ticks end the wait
// when the target never answers. See QueryUsage() for options and exit
// statuses.
#include <iostream>
#include <string>

#include "PrintReply.h"
#include "QueryOptions.h"
#include "framework/Command.h"
#include "framework/MessageQueueLibrary.h"
#include "framework/ServiceNode.h"
#include "win32/win32.h"

namespace {

int Query(const QueryOptions& options) {
    // The main thread's identifier is the process id here, and a live
    // thread's identifier is unique on the machine: no two clients share
    // the node name.
    const std::string nodeName = "orvane-query." + std::to_string(GetCurrentThreadId());
    ServiceNode node(nodeName.c_str(), 0, 1);
    if (!node.IsConnected()) {
        std::cerr << "orvane-query: cannot register node " << nodeName
                  << " with the message-queue service\n";
        Command none(options.code);
        none.SetResult(kResultNotConnected);
        PrintFailure(std::cout, options, none, "not connected");
        return kExitUnreachable;
    }

    Command command(options.code);
    command.SetRemoteName(options.target.c_str());
    command.SetTimeoutMs(options.timeoutMs);
    node.SendCommandAndWait(&command);

    switch (command.GetResult()) {
        case kResultTimedOut:
            std::cerr << "orvane-query: no reply from " << options.target << " within "
                      << options.timeoutMs << " ms\n";
            PrintFailure(std::cout, options, command, "timeout");
            return kExitTimeout;
        case kResultRefused:
        case kResultNotConnected:
            std::cerr << "orvane-query: node " << options.target << " is not reachable\n";
            PrintFailure(std::cout, options, command, "unreachable");
            return kExitUnreachable;
        case kResultNoMessage:
            std::cerr << "orvane-query: the request could not be built\n";
            PrintFailure(std::cout, options, command, "request not built");
            return kExitResult;
        default:
            break;
    }
    if (!PrintReply(std::cout, options, command)) {
        // The reply itself arrived with its result; only its content is bad.
        std::cerr << "orvane-query: the reply's availability report does not parse\n";
    }
    if (command.GetResult() != 0) {
        if (options.format == OutputFormat::kRaw) {
            std::cerr << "orvane-query: result " << command.GetResult() << "\n";
        }
        return kExitResult;
    }
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    QueryOptions options;
    std::string error;
    if (!ParseQueryOptions(argc, argv, options, error)) {
        std::cerr << "orvane-query: " << error << "\nTry 'orvane-query --help'.\n";
        return kExitUsage;
    }
    if (options.help) {
        std::cout << QueryUsage();
        return kExitOk;
    }
    const int status = Query(options);
    // Lets the library send what it accepted and join its threads before exit.
    ShutdownMessageQueueLibrary();
    return status;
}
