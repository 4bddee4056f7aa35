// Who can reach the agent and what a hostile local peer can do to it: another
// user, names built to escape the endpoint directory, and frames that lie
// about their length.
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <set>

#include "FaultSupport.h"

namespace fault_test {
namespace {

namespace fs = std::filesystem;
using AgentSecurityTest = AgentTest;

std::set<std::string> Entries(const std::string& dir) {
    std::set<std::string> names;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(dir, ignored)) names.insert(entry.path().filename().string());
    return names;
}

bool RunShell(const std::string& command) { return std::system(command.c_str()) == 0; }

// A system user made for one test and removed afterwards.
class TemporaryUser {
public:
    TemporaryUser() : name_("orvane-test-" + std::to_string(getpid())) {
        RunShell("userdel " + name_ + " >/dev/null 2>&1");
        created_ = RunShell("useradd -M -r -s /usr/sbin/nologin " + name_ + " >/dev/null 2>&1");
    }
    ~TemporaryUser() {
        if (created_) RunShell("userdel " + name_ + " >/dev/null 2>&1");
    }
    TemporaryUser(const TemporaryUser&) = delete;
    TemporaryUser& operator=(const TemporaryUser&) = delete;
    bool Created() const { return created_; }
    const std::string& Name() const { return name_; }

private:
    std::string name_;
    bool created_ = false;
};

TEST_F(AgentSecurityTest, AnotherUserCannotReachTheAgent) {
    if (geteuid() != 0) GTEST_SKIP() << "creating a second user needs root";
    if (!fs::exists("/usr/sbin/useradd") || !fs::exists("/usr/sbin/runuser")) {
        GTEST_SKIP() << "useradd or runuser is missing";
    }
    // Every directory on the way to the binaries must let the user in.
    for (fs::path p = BinaryDirectory(); p != p.root_path(); p = p.parent_path()) {
        struct stat st {};
        if (stat(p.c_str(), &st) != 0 || (st.st_mode & S_IXOTH) == 0) {
            GTEST_SKIP() << p << " is closed to other users; they could not run the client at all";
        }
    }
    TemporaryUser user;
    if (!user.Created()) GTEST_SKIP() << "useradd failed";

    ASSERT_TRUE(WriteAvailabilityLog(sandbox_->SystemLogPath(), 6));
    auto agent = StartAgent();
    // Only the endpoint directory's own mode stands between the user and
    // the agent: the sandbox around it is opened to everyone.
    ASSERT_EQ(chmod(sandbox_->Root().c_str(), 0755), 0);
    struct stat st {};
    ASSERT_EQ(stat(sandbox_->EndpointDirectory().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);

    const std::string query = BinaryDirectory() + "/orvane-query";
    for (const char* code : {"7", "13"}) {
        ChildSpec spec;
        spec.argv = {"/usr/sbin/runuser", "-u", user.Name(), "--", "/usr/bin/env",
                     "DIVIZE_DIR=" + sandbox_->EndpointDirectory(), query, "--code", code, "--timeout", "3000"};
        Child intruder(std::move(spec));
        const std::string output = intruder.ReadAll();
        EXPECT_EQ(intruder.Wait(), 4) << output;
    }
    // The same query as the agent's own user gets through.
    EXPECT_EQ(Query({"--code", "7"}).status, 1);
    StopAgentCleanly(*agent);
}

// Target names (from a client) and source names (which the agent replies
// to) built to climb out of the endpoint directory or overflow a socket
// path: none reaches anything, nothing appears outside the directory, and
// the agent goes on answering.
TEST_F(AgentSecurityTest, HostileNamesStayInsideTheEndpointDirectory) {
    ASSERT_TRUE(WriteAvailabilityLog(sandbox_->SystemLogPath(), 6));
    auto agent = StartAgent();
    const std::set<std::string> rootBefore = Entries(sandbox_->Root());
    const std::string parent = fs::path(sandbox_->Root()).parent_path().string();
    const std::set<std::string> tmpBefore = Entries("/tmp");
    const std::set<std::string> parentBefore = Entries(parent);

    const std::vector<std::string> names = {"../OrvaneAgent",
                                            "../../OrvaneAgent",
                                            "/OrvaneAgent",
                                            "OrvaneAgent/..",
                                            "..",
                                            "./OrvaneAgent",
                                            "../ep/OrvaneAgent",
                                            std::string(5000, 'A'),
                                            std::string(200, '/') + "OrvaneAgent"};
    for (const std::string& name : names) {
        const RunResult result = Query({"--target", name, "--code", "7", "--timeout", "3000"});
        EXPECT_EQ(result.status, 4) << name.substr(0, 40) << ": " << result.output;
    }

    const std::size_t before = CountOccurrences(AgentLog(), "Processed ");
    const std::vector<std::string> sources = {"../../escape",
                                              "../log/OrvaneAgent.log",
                                              "/tmp/orvane-escape",
                                              "..",
                                              std::string(300, 'S'),
                                              std::string(120, '/')};
    for (const std::string& source : sources) {
        auto client = StartClient({"burst", "OrvaneAgent", "2", "2", source});
        const std::string line = client->ReadAll();
        EXPECT_EQ(client->Wait(), 0) << line;
        EXPECT_EQ(line, "sent=2\n");
    }
    // Every request was handled; its reply had nowhere to go.
    EXPECT_TRUE(WaitForLog("Processed ", before + 2 * sources.size()));
    EXPECT_EQ(Query({"--code", "7"}).status, 1);

    EXPECT_EQ(Entries(sandbox_->Root()), rootBefore);
    for (const auto& [dir, listed] : {std::pair{std::string("/tmp"), tmpBefore}, std::pair{parent, parentBefore}}) {
        for (const std::string& entry : Entries(dir)) {
            if (listed.count(entry) != 0) continue;
            EXPECT_EQ(entry.find("escape"), std::string::npos) << dir << "/" << entry;
            EXPECT_EQ(entry.find("OrvaneAgent"), std::string::npos) << dir << "/" << entry;
        }
    }
    for (const std::string& entry : Entries(sandbox_->EndpointDirectory())) {
        EXPECT_EQ(entry.rfind("OrvaneAgent.", 0), 0u) << "left behind: " << entry;
    }
    EXPECT_FALSE(fs::exists(sandbox_->Root() + "/escape"));
    StopAgentCleanly(*agent);
}

int ConnectToAgent(const Sandbox& sandbox) {
    const std::string path = sandbox.EndpointDirectory() + "/OrvaneAgent.sock";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return -1;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool SendBytes(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t sent = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent <= 0) return false;
        done += static_cast<std::size_t>(sent);
    }
    return true;
}

std::vector<std::uint8_t> Prefix(std::uint32_t length) {
    return {static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
            static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 24)};
}

// True when the agent closes the connection within the patience.
bool ClosedByAgent(int fd) {
    const auto deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline) {
        pollfd entry{fd, POLLIN, 0};
        if (poll(&entry, 1, 1000) > 0) {
            char byte;
            const ssize_t got = recv(fd, &byte, 1, 0);
            if (got <= 0) return true;
        }
    }
    return false;
}

// Straight onto the agent's socket: frames that announce far more than they
// bring cost the agent only what actually arrives, lengths beyond the limit
// drop the connection at once, and peers that vanish mid-frame leave nothing.
TEST_F(AgentSecurityTest, FramesLyingAboutTheirLengthCostTheAgentNothing) {
    ASSERT_TRUE(WriteAvailabilityLog(sandbox_->SystemLogPath(), 6));
    auto agent = StartAgent();
    const long rssBefore = ResidentKiB(agent->Pid());

    // Half a prefix, and half a message, from peers that then disappear.
    for (const auto& bytes : {std::vector<std::uint8_t>{0x40, 0x00},
                              [] {
                                  std::vector<std::uint8_t> b = Prefix(1000);
                                  b.resize(4 + 500, 0x11);
                                  return b;
                              }()}) {
        const int fd = ConnectToAgent(*sandbox_);
        ASSERT_GE(fd, 0);
        EXPECT_TRUE(SendBytes(fd, bytes));
        close(fd);
    }

    // Beyond the limit: dropped without waiting for the body.
    for (std::uint32_t huge : {0xFFFFFFFFu, (256u << 20) + 1}) {
        const int fd = ConnectToAgent(*sandbox_);
        ASSERT_GE(fd, 0);
        EXPECT_TRUE(SendBytes(fd, Prefix(huge)));
        EXPECT_TRUE(ClosedByAgent(fd)) << huge;
        close(fd);
    }

    // At the limit, 256 MiB announced and 1 MiB sent, held open.
    const int greedy = ConnectToAgent(*sandbox_);
    ASSERT_GE(greedy, 0);
    std::vector<std::uint8_t> start = Prefix(256u << 20);
    start.resize(4 + (1u << 20), 0x5A);
    EXPECT_TRUE(SendBytes(greedy, start));
    EXPECT_EQ(Query({"--code", "7"}).status, 1) << "a half-received frame blocks nobody";
    const long rssHolding = ResidentKiB(agent->Pid());
    std::cout << "[ figures  ] agent VmRSS KiB before / holding a 256 MiB announcement: " << rssBefore << " / "
              << rssHolding << "\n";
    EXPECT_LT(rssHolding - rssBefore, 32 * 1024) << "the announced length was allocated";
    close(greedy);

    const RunResult report = Query({});
    EXPECT_EQ(report.status, 0) << report.output;
    StopAgentCleanly(*agent);
}

}  // namespace
}  // namespace fault_test
