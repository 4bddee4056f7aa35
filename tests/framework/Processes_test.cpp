// Nodes in separate processes, and the orvane-query client.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "NodeTestSupport.h"
#include "TestSupport.h"
#include "framework/MessageQueueLibrary.h"
#include "framework/ServiceNode.h"

namespace {

using namespace std::chrono_literals;
using test_support::ChildProcess;

const unsigned char kReport[] = {0x00, 0x01, '\n', '\r', 0xFF, 'O', 'K', 0x00, 0x7F, 0x80};

class ProcessesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test_support::UsePrivateDivizeDir(); }

    // Starts a test node and waits until it is registered.
    static std::unique_ptr<ChildProcess> StartNode(const std::string& name, const char* mode) {
        auto child = std::make_unique<ChildProcess>(std::vector<std::string>{
            test_support::BinaryDirectory() + "/framework_test_node", name, mode});
        EXPECT_TRUE(child->Started());
        EXPECT_EQ(child->ReadLine(20s).value_or("<nothing>"), "ready");
        return child;
    }
    static void Stop(ChildProcess& child) {
        child.Terminate();
        EXPECT_EQ(child.Wait(20s), 0);
    }
    struct QueryResult {
        int status;
        std::string out;
    };
    static QueryResult Query(std::vector<std::string> args) {
        args.insert(args.begin(), test_support::BinaryDirectory() + "/orvane-query");
        ChildProcess query(args);
        std::string out = query.ReadAll(60s);
        return {query.Wait(60s), out};
    }
    static std::string Unique(const char* base) {
        return std::string(base) + "." + std::to_string(getpid());
    }
};

TEST_F(ProcessesTest, RequestAndReplyBetweenTwoProcesses) {
    const std::string name = Unique("echo");
    auto server = StartNode(name, "echo");
    {
        ServiceNode client(Unique("client").c_str(), 0, 1);
        ASSERT_EQ(client.IsConnected(), 1);
        node_test::CountingCommand command(21);
        command.SetRemoteName(name.c_str());
        command.AddParameter("first", 5);
        command.AddParameter(std::string(100000, 'x').data(), 100000);
        client.SendCommandAndWait(&command);
        EXPECT_EQ(command.completions.load(), 1);
        EXPECT_EQ(command.GetResult(), 121);
        ASSERT_EQ(command.GetReplyCount(), 2u);
        EXPECT_EQ(std::string(static_cast<const char*>(command.GetReply(0)), 5), "first");
        EXPECT_EQ(command.GetReplyLength(1), 100000u);
    }
    Stop(*server);
}

TEST_F(ProcessesTest, TimeoutWithAPeerThatNeverAnswers) {
    const std::string name = Unique("silent");
    auto silent = StartNode(name, "silent");
    {
        ServiceNode client(Unique("waiter").c_str(), 0, 1);
        node_test::CountingCommand command(13);
        command.SetRemoteName(name.c_str());
        command.SetTimeoutMs(300);
        client.SendCommandAndWait(&command);
        EXPECT_EQ(command.GetResult(), kResultTimedOut);
        EXPECT_EQ(command.completions.load(), 1);
    }
    const auto result = Query({"--target", name, "--timeout", "300"});
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.out, "");
    Stop(*silent);
}

TEST_F(ProcessesTest, QueryExitStatusesAndOutputs) {
    const std::string name = Unique("agent");
    auto server = StartNode(name, "echo");

    auto ok = Query({"--target", name});
    EXPECT_EQ(ok.status, 0);
    EXPECT_NE(ok.out.find("result: 0\n"), std::string::npos) << ok.out;
    EXPECT_NE(ok.out.find("items: 1\n"), std::string::npos) << ok.out;
    EXPECT_NE(ok.out.find("item 0: 10 bytes"), std::string::npos) << ok.out;

    auto raw = Query({"--target", name, "--raw"});
    EXPECT_EQ(raw.status, 0);
    EXPECT_EQ(raw.out, std::string(reinterpret_cast<const char*>(kReport), sizeof kReport));

    auto json = Query({"--json", "--target", name, "--code", "7"});
    EXPECT_EQ(json.status, 1);
    EXPECT_EQ(json.out, "{\"target\":\"" + name + "\",\"code\":7,\"result\":3,\"items\":[]}\n");

    auto nobody = Query({"--target", "nobody", "--timeout", "600000"});
    EXPECT_EQ(nobody.status, 4);
    auto nobodyJson = Query({"--target", "nobody", "--json"});
    EXPECT_EQ(nobodyJson.status, 4);
    EXPECT_NE(nobodyJson.out.find("\"error\":\"unreachable\""), std::string::npos) << nobodyJson.out;

    for (const auto& usage : std::vector<std::vector<std::string>>{
             {"--code"}, {"--code", "12x"}, {"--timeout", "-1"}, {"--json", "--raw"}, {"--bogus"},
             {"--target", ""}, {"--code", "4294967296"}}) {
        EXPECT_EQ(Query(usage).status, 2) << usage[0];
    }
    auto help = Query({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Exit status"), std::string::npos);
    Stop(*server);
}

}  // namespace
