#include "FaultSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "EvtWriter.h"

extern char** environ;

namespace fault_test {

namespace fs = std::filesystem;

std::string BinaryDirectory() { return fs::read_symlink("/proc/self/exe").parent_path().string(); }

std::size_t CountOccurrences(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) {
        ++count;
    }
    return count;
}

// ---------------------------------------------------------------- Child

Child::Child(ChildSpec spec) {
    // Everything the child needs is prepared before fork: after it, only
    // async-signal-safe calls.
    std::map<std::string, std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        if (equals != nullptr) environment[std::string(*entry, static_cast<std::size_t>(equals - *entry))] = equals + 1;
    }
    for (const auto& [name, value] : spec.environment) environment[name] = value;
    std::vector<std::string> environmentText;
    for (const auto& [name, value] : environment) environmentText.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& text : environmentText) envp.push_back(text.data());
    envp.push_back(nullptr);
    std::vector<char*> argv;
    for (std::string& argument : spec.argv) argv.push_back(argument.data());
    argv.push_back(nullptr);

    int output = -1;
    int pipeEnds[2] = {-1, -1};
    if (spec.outputPath.empty()) {
        if (pipe2(pipeEnds, O_CLOEXEC) != 0) return;
        output = pipeEnds[1];
    } else {
        output = open(spec.outputPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (output < 0) return;
    }
    const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(devNull, STDIN_FILENO);
        dup2(output, STDOUT_FILENO);
        dup2(output, STDERR_FILENO);
        if (!spec.workingDirectory.empty() && chdir(spec.workingDirectory.c_str()) != 0) _exit(126);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    if (devNull >= 0) close(devNull);
    close(output);
    if (spec.outputPath.empty()) pipe_ = pipeEnds[0];
}

Child::~Child() {
    if (pid_ > 0 && !status_) {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    if (pipe_ >= 0) close(pipe_);
}

void Child::Signal(int signal) {
    if (pid_ > 0 && !status_) kill(pid_, signal);
}

int Child::Wait(std::chrono::milliseconds patience) {
    if (pid_ <= 0) return -1;
    const auto deadline = Clock::now() + patience;
    while (!status_) {
        int status = 0;
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
            break;
        }
        if (Clock::now() >= deadline) return kStillRunning;
        std::this_thread::sleep_for(5ms);
    }
    return *status_;
}

std::string Child::ReadAll(std::chrono::milliseconds patience) {
    std::string all;
    if (pipe_ < 0) return all;
    const auto deadline = Clock::now() + patience;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        pollfd entry{pipe_, POLLIN, 0};
        const int ready = poll(&entry, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        char chunk[4096];
        const ssize_t got = read(pipe_, chunk, sizeof chunk);
        if (got <= 0) break;
        all.append(chunk, static_cast<std::size_t>(got));
    }
    return all;
}

// ---------------------------------------------------------------- /proc

long ResidentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

long OpenDescriptors(pid_t pid) {
    DIR* dir = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
    if (dir == nullptr) return -1;
    long count = 0;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') ++count;
    }
    closedir(dir);
    return count;
}

bool Freeze(pid_t pid) {
    if (kill(pid, SIGSTOP) != 0) return false;
    const auto deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text;
        std::getline(stat, text);
        // "pid (comm) S ...": the state follows the last ')'.
        const std::size_t close = text.rfind(')');
        if (close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'T') return true;
        std::this_thread::sleep_for(2ms);
    }
    return false;
}

// ---------------------------------------------------------------- Sandbox

Sandbox::Sandbox() {
    // The agent commits every log line to disk; in memory that costs
    // nothing, so the tests measure the agent rather than the disk.
    char inMemory[] = "/dev/shm/orvane-fault-XXXXXX";
    char onDisk[] = "/tmp/orvane-fault-XXXXXX";
    const char* made = mkdtemp(inMemory);
    if (made == nullptr) made = mkdtemp(onDisk);
    if (made == nullptr) return;
    root_ = made;
    for (const char* sub : {"/work", "/log", "/evt"}) mkdir((root_ + sub).c_str(), 0700);
}

Sandbox::~Sandbox() {
    if (root_.empty()) return;
    std::error_code ignored;
    // A test may have taken permissions away; give them back to remove all.
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(root_, ignored);
}

std::map<std::string, std::string> Sandbox::Environment() const {
    return {{"DIVIZE_DIR", EndpointDirectory()},
            {"EVENTLOG_DIR", EventLogDirectory()},
            // The System log always comes from EVENTLOG_DIR, never from wtmp.
            {"ORVANE_WTMP", root_ + "/no-wtmp"}};
}

// ---------------------------------------------------------------- logs

bool WriteAvailabilityLog(const std::string& path, std::uint32_t records, std::size_t computerLength) {
    std::vector<evtwriter::Record> list;
    list.reserve(records);
    const std::u16string computer(computerLength, u'H');
    std::uint32_t time = 1104537600u;  // 2005-01-01 00:00:00 UTC
    for (std::uint32_t i = 0; i < records; ++i) {
        time += 3600;
        static const std::uint32_t kCodes[] = {6005, 6006, 6008};
        const std::uint32_t code = kCodes[i % 3];
        evtwriter::RecordBuilder builder(0x80000000u | code);
        builder.Time(time).Computer(computer);
        if (code == 6008) {
            const SYSTEMTIME t{2005, 7, 5, 1, 12, 0, 0, 0};
            builder.Type(1).Strings({u"11:59:02 PM", u"7/4/2005"}).Data(evtwriter::SystemTimes(t, t));
        }
        list.push_back(builder.Build());
    }
    return evtwriter::WriteLog(path, list, {});
}

bool WriteMixedLog(const std::string& path, std::uint32_t records) {
    std::vector<evtwriter::Record> list;
    list.reserve(records);
    std::uint32_t time = 1104537600u;
    for (std::uint32_t i = 0; i < records; ++i) {
        time += 60;
        if (i % 10 == 9) {
            list.push_back(evtwriter::RecordBuilder(0x80000000u | (i % 20 == 9 ? 6005 : 6006))
                               .Time(time)
                               .Computer(u"FAULTHOST")
                               .Build());
        } else {
            list.push_back(evtwriter::RecordBuilder(7036)
                               .Time(time)
                               .Source(u"Service Control Manager")
                               .Computer(u"FAULTHOST")
                               .Strings({u"The service entered the running state."})
                               .Build());
        }
    }
    return evtwriter::WriteLog(path, list, {});
}

// ---------------------------------------------------------------- fixture

void AgentTest::SetUp() {
    sandbox_ = std::make_unique<Sandbox>();
    ASSERT_FALSE(sandbox_->Root().empty()) << "cannot make a sandbox in /tmp";
}

void AgentTest::TearDown() { sandbox_.reset(); }

std::unique_ptr<Child> AgentTest::StartAgent(const std::map<std::string, std::string>& extraEnvironment,
                                             bool waitUntilAnswering) {
    ChildSpec spec;
    spec.argv = {BinaryDirectory() + "/OrvaneAgent"};
    spec.workingDirectory = sandbox_->WorkDirectory();
    spec.environment = sandbox_->Environment();
    for (const auto& [name, value] : extraEnvironment) spec.environment[name] = value;
    spec.outputPath = sandbox_->Root() + "/agent-" + std::to_string(++agentStarts_) + ".out";
    auto agent = std::make_unique<Child>(std::move(spec));
    EXPECT_TRUE(agent->Started());
    if (waitUntilAnswering) {
        EXPECT_TRUE(WaitUntilAnswering()) << "the agent never answered";
    }
    return agent;
}

bool AgentTest::WaitUntilAnswering(std::chrono::milliseconds patience) {
    const auto deadline = Clock::now() + patience;
    while (Clock::now() < deadline) {
        if (Query({"--code", "7", "--timeout", "2000"}).status == 1) return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

std::unique_ptr<Child> AgentTest::StartQuery(const std::vector<std::string>& arguments,
                                             const std::map<std::string, std::string>& extraEnvironment) {
    ChildSpec spec;
    spec.argv = {BinaryDirectory() + "/orvane-query"};
    spec.argv.insert(spec.argv.end(), arguments.begin(), arguments.end());
    spec.environment = sandbox_->Environment();
    for (const auto& [name, value] : extraEnvironment) spec.environment[name] = value;
    return std::make_unique<Child>(std::move(spec));
}

RunResult AgentTest::Query(const std::vector<std::string>& arguments, std::chrono::milliseconds patience) {
    auto query = StartQuery(arguments);
    std::string output = query->ReadAll(patience);
    return {query->Wait(patience), std::move(output)};
}

std::unique_ptr<Child> AgentTest::StartClient(const std::vector<std::string>& arguments) {
    ChildSpec spec;
    spec.argv = {BinaryDirectory() + "/fault_client"};
    spec.argv.insert(spec.argv.end(), arguments.begin(), arguments.end());
    spec.environment = sandbox_->Environment();
    return std::make_unique<Child>(std::move(spec));
}

std::string AgentTest::AgentLog() const {
    std::ifstream in(sandbox_->AgentLogPath(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool AgentTest::WaitForLog(const std::string& text, std::size_t count, std::chrono::milliseconds patience) const {
    const auto deadline = Clock::now() + patience;
    for (;;) {
        if (CountOccurrences(AgentLog(), text) >= count) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
}

void AgentTest::StopAgentCleanly(Child& agent) {
    agent.Signal(SIGTERM);
    // Exit 0 also means LeakSanitizer (where built in) found nothing.
    EXPECT_EQ(agent.Wait(), 0);
    const std::string log = AgentLog();
    if (fs::exists(sandbox_->AgentLogPath())) {
        const std::string last = "Finished processing commands\n";
        EXPECT_TRUE(log.size() >= last.size() && log.compare(log.size() - last.size(), last.size(), last) == 0)
            << "last log bytes: " << log.substr(log.size() > 200 ? log.size() - 200 : 0);
    }
}

}  // namespace fault_test
