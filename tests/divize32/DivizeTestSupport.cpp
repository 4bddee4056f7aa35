#include "DivizeTestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "DivizeEntries.h"
#include "TestMessage.h"

namespace divize_test {

std::int32_t Recorder::Callback(void* context, void* message, std::uint32_t value) {
    auto* self = static_cast<Recorder*>(context);
    if (message != nullptr) {
        if (self->onMessage) self->onMessage(message);
        Received received{SourceName(message), TargetName(message), wire::GetKind(message),
                          wire::GetI32(message, wire::kCode), wire::GetU32(message, wire::kSequence)};
        QueueMessageFree(message);
        std::lock_guard lock(self->mutex_);
        self->messages_.push_back(received);
        // Notified under the lock: a waiter that returns may destroy the
        // Recorder, which it can only do once this thread let go of it.
        self->changed_.notify_all();
    } else {
        std::lock_guard lock(self->mutex_);
        self->ticks_.push_back(value);
        self->changed_.notify_all();
    }
    return 0;
}

bool Recorder::WaitForMessages(std::size_t count, std::chrono::milliseconds patience) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, patience, [&] { return messages_.size() >= count; });
}

bool Recorder::WaitForTicks(std::size_t count, std::chrono::milliseconds patience) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, patience, [&] { return ticks_.size() >= count; });
}

std::vector<Received> Recorder::Messages() {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<std::uint32_t> Recorder::Ticks() {
    std::lock_guard lock(mutex_);
    return ticks_;
}

std::size_t Recorder::CallCount() {
    std::lock_guard lock(mutex_);
    return messages_.size() + ticks_.size();
}

void DivizeTest::SetUp() {
    char pattern[] = "/tmp/divize-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    endpointDir_ = root_ + "/ep";
    setenv("DIVIZE_DIR", endpointDir_.c_str(), 1);
    ASSERT_EQ(InitApplication(), 1);
}

void DivizeTest::TearDown() {
    EXPECT_EQ(TermApplication(), 1);
    std::error_code ignored;
    std::filesystem::permissions(root_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(root_, ignored);
    unsetenv("DIVIZE_DIR");
}

std::string DivizeTest::SocketPath(const std::string& encodedStem) const {
    return endpointDir_ + "/" + encodedStem + ".sock";
}

bool DivizeTest::Send(const std::string& source, const std::string& target, std::uint32_t sequence) {
    MessageSpec spec;
    spec.source = source;
    spec.target = target;
    spec.sequence = sequence;
    spec.items = {"item", std::string(sequence % 50, 'x')};
    std::uint8_t* message = BuildMessage(spec);
    if (EnqueueMessage(message) != 0) return true;
    QueueMessageFree(message);
    return false;
}

std::string ExecutableDirectory() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

Peer::Peer(const std::vector<std::string>& arguments) {
    const std::string program = ExecutableDirectory() + "/divize32_peer";
    std::vector<std::string> args = arguments;
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    int toChild[2];
    int fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) return;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(toChild[0], STDIN_FILENO);
        dup2(fromChild[1], STDOUT_FILENO);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    pid_ = pid;
    input_ = toChild[1];
    output_ = fromChild[0];
}

Peer::~Peer() {
    if (pid_ > 0) {
        Kill();
        Wait();
    }
    if (input_ >= 0) close(input_);
    if (output_ >= 0) close(output_);
}

std::string Peer::ReadLine(std::chrono::milliseconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        const std::size_t newline = buffered_.find('\n');
        if (newline != std::string::npos) {
            std::string line = buffered_.substr(0, newline);
            buffered_.erase(0, newline + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || output_ < 0) return "";
        pollfd entry{output_, POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(left.count())) <= 0) continue;
        char chunk[256];
        const ssize_t n = read(output_, chunk, sizeof(chunk));
        if (n <= 0) return "";
        buffered_.append(chunk, static_cast<std::size_t>(n));
    }
}

void Peer::CloseInput() {
    if (input_ >= 0) close(input_);
    input_ = -1;
}

void Peer::Kill() {
    if (pid_ > 0) kill(pid_, SIGKILL);
}

int Peer::Wait(std::chrono::milliseconds patience) {
    if (pid_ <= 0) return -1;
    const auto deadline = std::chrono::steady_clock::now() + patience;
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) break;
        if (done < 0 || std::chrono::steady_clock::now() >= deadline) return -1;
        poll(nullptr, 0, 10);
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int ConnectRaw(const std::string& socketPath) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof(address.sun_path) - 1);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool WriteAll(int fd, const void* data, std::size_t length) {
    const auto* p = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t n = send(fd, p, length, MSG_NOSIGNAL);
        if (n <= 0) return false;
        p += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

bool WaitForClose(int fd, std::chrono::milliseconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd entry{fd, POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(left.count())) <= 0) continue;
        char scratch[256];
        const ssize_t n = recv(fd, scratch, sizeof(scratch), MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return true;
    }
}

}  // namespace divize_test
