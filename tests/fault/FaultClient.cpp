// fault_client - a client of the agent for the load and fault tests.
//
//   fault_client burst TARGET COUNT WINDOW [SOURCE]
//       A raw-mode node sends COUNT requests (codes 13 and 7 in turn), never
//       more than WINDOW unanswered, and sees every reply message itself, so
//       a reply that comes twice or to no request is counted, not hidden.
//       SOURCE, when given, is written as the requests' source name instead
//       of the node's own; replies then go there, not here, so it only
//       sends and prints "sent=S".
//   fault_client wait TARGET COUNT
//       SendCommandAndWait COUNT times (codes 13 and 7 in turn).
//   fault_client async TARGET COUNT
//       SendCommandAsync COUNT times at once; waits for every OnComplete.
//
// Prints one line "sent=S answered=A duplicated=D stray=X wrong=W lost=L"
// and exits 0 when every request was answered exactly once and correctly
// (code 13: result 0 and one item that starts with the count of entries;
// code 7: result 3 and no item), else 1; 2 for usage, 4 when no node.
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "framework/Command.h"
#include "framework/MessageFormat.h"
#include "framework/MessageQueueLibrary.h"
#include "framework/ServiceNode.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kPatience = 120s;

struct Tally {
    unsigned sent = 0;
    unsigned answered = 0;
    unsigned duplicated = 0;
    unsigned stray = 0;
    unsigned wrong = 0;

    int Report() const {
        const unsigned lost = sent - answered;
        std::printf("sent=%u answered=%u duplicated=%u stray=%u wrong=%u lost=%u\n", sent, answered, duplicated,
                    stray, wrong, lost);
        std::fflush(stdout);
        return lost == 0 && duplicated == 0 && stray == 0 && wrong == 0 ? 0 : 1;
    }
};

std::int32_t CodeOf(unsigned index) { return index % 2 == 0 ? 13 : 7; }

bool IsCorrectAnswer(const Command& command) {
    if (command.GetCode() == 7) return command.GetResult() == 3 && command.GetReplyCount() == 0;
    if (command.GetResult() != 0 || command.GetReplyCount() != 1) return false;
    // A report starts with the 32-bit count of its entries.
    return command.GetReplyLength(0) >= 4;
}

// Sees every message addressed to it. Thread-safe.
class RawClient : public ServiceNode {
public:
    // Made ready by its owner once constructed (see ServiceNode.h).
    explicit RawClient(const std::string& nodeName) : ServiceNode(nodeName.c_str(), 1, 0) {}
    ~RawClient() override { Disconnect(); }

    void HandleRawMessage(void* message, std::uint32_t) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const std::uint32_t sequence = wire::GetU32(message, wire::kSequence);
            auto found = outstanding_.find(sequence);
            if (!IsReplyMessage(message) || found == outstanding_.end()) {
                if (answeredSequences_.count(sequence) != 0) {
                    ++tally_.duplicated;
                } else {
                    ++tally_.stray;
                }
            } else {
                Command& command = *found->second;
                if (!command.ParseReply(message) || !IsCorrectAnswer(command)) ++tally_.wrong;
                ++tally_.answered;
                answeredSequences_[sequence] = 1;
                outstanding_.erase(found);
            }
            changed_.notify_all();
        }
        QueueMessageFree(message);
    }

    // Sends one request; false when the library refuses it.
    bool Send(std::unique_ptr<Command> command) {
        void* message = command->BuildRequestMessage();
        if (message == nullptr) return false;
        std::unique_lock<std::mutex> lock(mutex_);
        outstanding_[command->GetSequence()] = std::move(command);
        ++tally_.sent;
        lock.unlock();
        if (CallEnqueueMessage(message) != 0) return true;
        QueueMessageFree(message);
        return false;
    }

    // Waits until at most `limit` requests are unanswered; false when no
    // reply came for the whole patience.
    bool WaitUntilOutstandingAtMost(std::size_t limit) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, kPatience, [&] { return outstanding_.size() <= limit; });
    }

    Tally Result() {
        std::lock_guard<std::mutex> lock(mutex_);
        return tally_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::uint32_t, std::unique_ptr<Command>> outstanding_;
    std::map<std::uint32_t, int> answeredSequences_;
    Tally tally_;
};

int Burst(const std::string& target, unsigned count, unsigned window, const char* source) {
    RawClient node("fault-client." + std::to_string(getpid()));
    if (!node.IsConnected()) return 4;
    node.SetReady(1);
    for (unsigned i = 0; i < count; ++i) {
        if (!node.WaitUntilOutstandingAtMost(window - 1)) break;
        auto command = std::make_unique<Command>(CodeOf(i));
        command->SetLocalName(source != nullptr ? source : node.GetName());
        command->SetRemoteName(target.c_str());
        if (!node.Send(std::move(command))) {
            std::fprintf(stderr, "fault_client: request %u refused\n", i);
            break;
        }
    }
    if (source != nullptr) {
        // The replies go to SOURCE: only the sending is this client's.
        std::printf("sent=%u\n", node.Result().sent);
        return 0;
    }
    node.WaitUntilOutstandingAtMost(0);
    // Replies that come late or twice arrive within a few ticks.
    usleep(300 * 1000);
    return node.Result().Report();
}

// Records its completions. Thread-safe.
class CountingCommand : public Command {
public:
    CountingCommand(std::int32_t commandCode, std::mutex& mutex, std::condition_variable& changed, unsigned& done)
        : Command(commandCode), mutex_(mutex), changed_(changed), done_(done) {}
    void OnComplete() override {
        // Notified under the lock: the waiter destroys the condition
        // variable once it has seen the last completion.
        std::lock_guard<std::mutex> lock(mutex_);
        ++completions;
        ++done_;
        changed_.notify_all();
    }
    unsigned completions = 0;  // guarded by the shared mutex

private:
    std::mutex& mutex_;
    std::condition_variable& changed_;
    unsigned& done_;
};

int Framework(const std::string& target, unsigned count, bool asynchronous) {
    ServiceNode node(("fault-client." + std::to_string(getpid())).c_str(), 0, 1);
    if (!node.IsConnected()) return 4;
    std::mutex mutex;
    std::condition_variable changed;
    unsigned done = 0;
    std::vector<std::unique_ptr<CountingCommand>> commands;
    Tally tally;
    for (unsigned i = 0; i < count; ++i) {
        commands.push_back(std::make_unique<CountingCommand>(CodeOf(i), mutex, changed, done));
        CountingCommand& command = *commands.back();
        command.SetRemoteName(target.c_str());
        command.SetTimeoutMs(60000);
        ++tally.sent;
        if (asynchronous) {
            node.SendCommandAsync(&command, 0, 0);
        } else {
            node.SendCommandAndWait(&command);
        }
    }
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, kPatience, [&] { return done == count; });
        for (const auto& command : commands) {
            if (command->completions == 0) continue;
            ++tally.answered;
            if (command->completions > 1) ++tally.duplicated;
            if (!IsCorrectAnswer(*command)) ++tally.wrong;
        }
    }
    return tally.Report();
}

unsigned Number(const char* text) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    return end != text && *end == 0 && value > 0 && value <= 1000000 ? static_cast<unsigned>(value) : 0;
}

}  // namespace

int main(int argc, char** argv) {
    int status = 2;
    const std::string mode = argc >= 4 ? argv[1] : "";
    if (mode == "burst" && (argc == 5 || argc == 6) && Number(argv[3]) && Number(argv[4])) {
        status = Burst(argv[2], Number(argv[3]), Number(argv[4]), argc == 6 ? argv[5] : nullptr);
    } else if ((mode == "wait" || mode == "async") && argc == 4 && Number(argv[3])) {
        status = Framework(argv[2], Number(argv[3]), mode == "async");
    } else {
        std::fprintf(stderr, "usage: fault_client burst TARGET COUNT WINDOW [SOURCE] | wait|async TARGET COUNT\n");
        return 2;
    }
    ShutdownMessageQueueLibrary();
    return status;
}
