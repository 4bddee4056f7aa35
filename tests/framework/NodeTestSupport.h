// NodeTestSupport.h - nodes and commands that record what happens to them.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/Command.h"
#include "framework/MessageFormat.h"
#include "framework/ServiceNode.h"

namespace node_test {

using namespace std::chrono_literals;

// Polls `condition` until it holds or the limit runs out.
inline bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// Counts OnComplete and destruction.
class CountingCommand : public Command {
public:
    explicit CountingCommand(std::int32_t commandCode, std::atomic<int>* destroyed = nullptr)
        : Command(commandCode), destroyed_(destroyed) {}
    ~CountingCommand() override {
        if (destroyed_ != nullptr) ++*destroyed_;
    }
    void OnComplete() override {
        completedResult = GetResult();
        ++completions;
    }
    std::atomic<int> completions{0};
    std::atomic<std::int32_t> completedResult{0};

private:
    std::atomic<int>* destroyed_;
};

// Answers with result code + 100 and its parameters as reply items; in
// keep mode it sets DeferReply and keeps the Command for SendReply.
class EchoNode : public ServiceNode {
public:
    EchoNode(const char* nodeName, int readyValue = 1) : ServiceNode(nodeName, 0, readyValue) {}
    ~EchoNode() override { Disconnect(); }

    int HandleCommand(Command& command) override {
        std::lock_guard<std::mutex> lock(mutex);
        handled.push_back(command.GetCode());
        if (keep.load()) {
            command.SetFlags(command.GetFlags() | Command::DeferReply);
            command.SetResult(command.GetCode() + 200);
            kept.push_back(&command);
            return 1;
        }
        command.SetResult(command.GetCode() + 100);
        for (std::uint32_t i = 0; i < command.GetParameterCount(); ++i) {
            command.AddReply(command.GetParameter(i), command.GetParameterLength(i));
        }
        return quitAfter.load() ? 0 : 1;
    }

    std::vector<std::int32_t> Handled() {
        std::lock_guard<std::mutex> lock(mutex);
        return handled;
    }
    Command* TakeKept() {
        std::lock_guard<std::mutex> lock(mutex);
        if (kept.empty()) return nullptr;
        Command* command = kept.front();
        kept.erase(kept.begin());
        return command;
    }

    std::atomic<bool> keep{false};
    std::atomic<bool> quitAfter{false};

private:
    std::mutex mutex;
    std::vector<std::int32_t> handled;
    std::vector<Command*> kept;
};

// Raw mode: keeps a copy of every message it receives; never answers.
class RawNode : public ServiceNode {
public:
    explicit RawNode(const char* nodeName) : ServiceNode(nodeName, 1, 1) {}
    ~RawNode() override { Disconnect(); }

    void HandleRawMessage(void* message, std::uint32_t value) override {
        {
            std::lock_guard<std::mutex> lock(mutex);
            const auto* p = static_cast<const std::uint8_t*>(message);
            const std::uint32_t total = wire::GetU32(p, wire::kTotalLength);
            received.emplace_back(p, p + total);
        }
        ServiceNode::HandleRawMessage(message, value);
    }
    std::vector<std::vector<std::uint8_t>> Received() {
        std::lock_guard<std::mutex> lock(mutex);
        return received;
    }

private:
    std::mutex mutex;
    std::vector<std::vector<std::uint8_t>> received;
};

}  // namespace node_test
