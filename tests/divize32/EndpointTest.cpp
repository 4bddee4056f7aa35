// Endpoints on disk: the private directory, name encoding, one live owner
// per name across processes, and the takeover of a crashed owner's endpoint.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "DivizeEntries.h"
#include "DivizeTestSupport.h"
#include "TestMessage.h"

namespace divize_test {
namespace {

namespace fs = std::filesystem;
using EndpointTest = DivizeTest;

std::vector<std::string> DirectoryEntries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    return names;
}

TEST_F(EndpointTest, CreatesTheEndpointDirectoryPrivate) {
    Recorder node;
    ASSERT_NE(CreateSvcNode("private", &node, Recorder::Callback), 0u);
    struct stat st {};
    ASSERT_EQ(stat(endpointDir_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_TRUE(fs::exists(SocketPath("private")));
}

TEST_F(EndpointTest, RefusesADirectoryOthersCouldReach) {
    struct Case {
        const char* what;
        std::function<void(const std::string&)> prepare;
    };
    const Case cases[] = {
        {"group-writable", [](const std::string& dir) { mkdir(dir.c_str(), 0770); chmod(dir.c_str(), 0770); }},
        {"world-writable", [](const std::string& dir) { mkdir(dir.c_str(), 0777); chmod(dir.c_str(), 0777); }},
        {"symbolic link", [this](const std::string& dir) {
             mkdir((root_ + "/real").c_str(), 0700);
             ASSERT_EQ(symlink((root_ + "/real").c_str(), dir.c_str()), 0);
         }},
        {"regular file", [](const std::string& dir) { fs::path p(dir); std::ofstream(p) << "x"; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string dir = root_ + "/" + c.what;
        c.prepare(dir);
        setenv("DIVIZE_DIR", dir.c_str(), 1);
        Recorder node;
        EXPECT_EQ(CreateSvcNode("refused", &node, Recorder::Callback), 0u);
        EXPECT_FALSE(Send("x", "refused", 1));
    }
}

// Every name stays inside the directory as a plain, visible file and still
// reaches its node; different names never share a file.
TEST_F(EndpointTest, NamesAreEncodedIntoTheDirectory) {
    const std::vector<std::string> names = {"a/b",   "a%2Fb",    "..",          "../escape", "/absolute",
                                            ".hidden", "x..y",    "with space",  "\xC3\xBC\x01", "."};
    std::vector<Recorder> recorders(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        ASSERT_NE(CreateSvcNode(names[i].c_str(), &recorders[i], Recorder::Callback), 0u) << names[i];
    }
    for (std::size_t i = 0; i < names.size(); ++i) ASSERT_TRUE(Send("x", names[i], static_cast<std::uint32_t>(i)));
    for (std::size_t i = 0; i < names.size(); ++i) {
        ASSERT_TRUE(recorders[i].WaitForMessages(1)) << names[i];
        EXPECT_EQ(recorders[i].Messages()[0].target, names[i]);
        EXPECT_EQ(recorders[i].Messages()[0].sequence, i);
    }
    EXPECT_EQ(DirectoryEntries(root_), std::vector<std::string>{"ep"});
    const std::vector<std::string> files = DirectoryEntries(endpointDir_);
    EXPECT_EQ(files.size(), 2 * names.size());
    for (const std::string& file : files) {
        EXPECT_NE(file[0], '.') << file;
        EXPECT_EQ(file.find(".."), std::string::npos) << file;
    }
    for (const std::string& name : names) EXPECT_EQ(DeleteSvcNode(name.c_str()), 1) << name;
    EXPECT_TRUE(DirectoryEntries(endpointDir_).empty());
}

TEST_F(EndpointTest, RefusesNamesThatCannotBeEncoded) {
    const std::vector<std::string> names = {"", std::string(300, 'n'), std::string(100, '/')};
    for (const std::string& name : names) {
        Recorder node;
        EXPECT_EQ(CreateSvcNode(name.c_str(), &node, Recorder::Callback), 0u) << name.size();
        EXPECT_FALSE(Send("x", name, 1)) << name.size();
    }
    Recorder node;
    EXPECT_EQ(CreateSvcNode(nullptr, &node, Recorder::Callback), 0u);
    EXPECT_EQ(CreateSvcNode("no-callback", &node, nullptr), 0u);
    if (fs::exists(endpointDir_)) {
        EXPECT_TRUE(DirectoryEntries(endpointDir_).empty());
    }
}

TEST_F(EndpointTest, ANameHasOneLiveOwnerAcrossProcesses) {
    Recorder mine;
    ASSERT_NE(CreateSvcNode("mine", &mine, Recorder::Callback), 0u);
    EXPECT_EQ(CreateSvcNode("mine", &mine, Recorder::Callback), 0u);

    Peer holder({"hold", "theirs"});
    ASSERT_EQ(holder.ReadLine(), "ready");
    EXPECT_EQ(CreateSvcNode("theirs", &mine, Recorder::Callback), 0u);

    Peer intruder({"hold", "mine"});
    EXPECT_EQ(intruder.ReadLine(), "refused");

    // The refused attempts disturbed neither owner.
    ASSERT_TRUE(Send("x", "mine", 7));
    ASSERT_TRUE(mine.WaitForMessages(1));
    EXPECT_TRUE(Send("x", "theirs", 8));
    intruder.CloseInput();
    holder.CloseInput();
    EXPECT_EQ(intruder.Wait(), 0);
    EXPECT_EQ(holder.Wait(), 0);
    // A clean exit without TermApplication removes the endpoint.
    EXPECT_FALSE(fs::exists(SocketPath("theirs")));
}

TEST_F(EndpointTest, TakesOverTheEndpointOfAKilledOwner) {
    Peer owner({"hold", "phoenix"});
    ASSERT_EQ(owner.ReadLine(), "ready");
    owner.Kill();
    EXPECT_EQ(owner.Wait(), -1);
    ASSERT_TRUE(fs::exists(SocketPath("phoenix"))) << "the killed owner left its socket behind";
    EXPECT_FALSE(Send("x", "phoenix", 1)) << "a stale socket is no node";

    Recorder phoenix;
    ASSERT_NE(CreateSvcNode("phoenix", &phoenix, Recorder::Callback), 0u);
    ASSERT_TRUE(Send("x", "phoenix", 2));
    ASSERT_TRUE(phoenix.WaitForMessages(1));
    EXPECT_EQ(phoenix.Messages()[0].sequence, 2u);
}

TEST_F(EndpointTest, TermApplicationRemovesEndpointsAndInitStartsAgain) {
    Recorder node;
    ASSERT_NE(CreateSvcNode("cycle", &node, Recorder::Callback), 0u);
    ASSERT_EQ(TermApplication(), 1);
    EXPECT_TRUE(DirectoryEntries(endpointDir_).empty());
    ASSERT_EQ(InitApplication(), 1);
    EXPECT_EQ(InitApplication(), 1);
    ASSERT_NE(CreateSvcNode("cycle", &node, Recorder::Callback), 0u);
    ASSERT_TRUE(Send("x", "cycle", 4));
    ASSERT_TRUE(node.WaitForMessages(1));
}

TEST_F(EndpointTest, CreateSvcNodeStartsTheLibraryWhenInitWasNotCalled) {
    ASSERT_EQ(TermApplication(), 1);
    Recorder node;
    ASSERT_NE(CreateSvcNode("lazy", &node, Recorder::Callback), 0u);
    ASSERT_TRUE(Send("x", "lazy", 5));
    ASSERT_TRUE(node.WaitForMessages(1));
}

}  // namespace
}  // namespace divize_test
