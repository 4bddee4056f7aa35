// The run-time binding of the message-queue library and DynamicLinkLibrary.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "NodeTestSupport.h"
#include "TestSupport.h"
#include "divize32/divize32.h"
#include "framework/DynamicLinkLibrary.h"
#include "framework/MessageQueueLibrary.h"
#include "framework/ServiceNode.h"
#include "win32/win32_testing.h"

namespace {

using LogFn = const char* (*)();

class BindingTest : public ::testing::Test {
protected:
    void SetUp() override {
        test_support::UsePrivateDivizeDir();
        UnbindMessageQueueLibrary();
    }
    void TearDown() override {
        UnbindMessageQueueLibrary();
        win32_testing::SetModuleSearchOverride(nullptr);
    }
    static void UseLibraryIn(const std::string& subdirectory) {
        const std::string directory = test_support::BinaryDirectory() + "/" + subdirectory;
        win32_testing::SetModuleSearchOverride(directory.c_str());
    }
    static std::string CallLog() {
        const MessageQueueBinding& binding = GetMessageQueueBinding();
        if (binding.library == nullptr) return "<unbound>";
        auto log = reinterpret_cast<LogFn>(binding.library->FindEntry("FakeDivizeCallLog"));
        return log != nullptr ? log() : "<no log>";
    }
    static bool NothingBound() {
        const MessageQueueBinding& b = GetMessageQueueBinding();
        return b.library == nullptr && b.initApplication == nullptr && b.termApplication == nullptr &&
               b.allocateMessage == nullptr && b.freeMessage == nullptr && b.enqueueMessage == nullptr &&
               b.svcNodeExists == nullptr && b.createSvcNode == nullptr && b.deleteSvcNode == nullptr &&
               b.getGlobalTimeout == nullptr && b.setGlobalTimeout == nullptr &&
               b.setLocalSysName == nullptr && b.localSysName == nullptr && b.enqueueMessage2 == nullptr &&
               b.queue32LocalMACAddr == nullptr && b.kovLocalUniqueID == nullptr &&
               b.enqueueMessage4 == nullptr && b.kovUseInputDesktop == nullptr &&
               b.queue32SetFeatureFlags == nullptr && b.queue32GetFeatureFlags == nullptr &&
               b.registeredCallback == nullptr;
    }
};

TEST_F(BindingTest, BindsOnceAndCallsTheEntriesInOrder) {
    UseLibraryIn("framework-fakes/recording");
    EXPECT_EQ(SetUseInputDesktop(1), 1);
    const MessageQueueBinding& binding = GetMessageQueueBinding();
    ASSERT_NE(binding.library, nullptr);
    EXPECT_EQ(binding.library->GetBaseName(), "DIVIZE32");
    EXPECT_EQ(binding.registeredCallback, &NodeMessageCallback);
    EXPECT_EQ(CallLog(), "KovUseInputDesktop(1);InitApplication;");

    const DynamicLinkLibrary* library = binding.library;
    EXPECT_EQ(BindMessageQueueLibrary(), 1);
    EXPECT_EQ(SetUseInputDesktop(0), 1) << "a flag set while bound waits for the next bind";
    EXPECT_EQ(binding.library, library);
    EXPECT_EQ(library->GetLoadCount(), 1u);
    EXPECT_EQ(CallLog(), "KovUseInputDesktop(1);InitApplication;");

    // The wrappers pass values and results through unread.
    EXPECT_EQ(CallSvcNodeExists(41), 42);
    EXPECT_EQ(CallEnqueueMessage4(nullptr), 7) << "EnqueueMessage4(message, 0)";
    EXPECT_EQ(CallSetGlobalTimeout(5), 10);
    EXPECT_EQ(CallSetLocalSysName(5), 15);
    EXPECT_EQ(CallLocalSysName(), 0x5151u);
    EXPECT_EQ(CallQueue32SetFeatureFlags(1), 6);
    EXPECT_EQ(CallQueue32GetFeatureFlags(), 0x77u);
    EXPECT_EQ(CallKovLocalUniqueID(), 0xABCDu);
    EXPECT_EQ(CallQueue32LocalMACAddr()[0], 1);

    EXPECT_EQ(ShutdownMessageQueueLibrary(), 1);
    EXPECT_TRUE(NothingBound());
    // Bound afresh: the stored flag (now 0) reaches the new bind, before InitApplication.
    ASSERT_EQ(BindMessageQueueLibrary(), 1);
    const std::string log = CallLog();
    const std::string tail = "KovUseInputDesktop(0);InitApplication;";
    ASSERT_GE(log.size(), tail.size());
    EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
}

TEST_F(BindingTest, ALibraryWithoutDeleteSvcNodeNeverBinds) {
    UseLibraryIn("variants/nodelete");
    EXPECT_EQ(BindMessageQueueLibrary(), 0);
    EXPECT_TRUE(NothingBound());
    EXPECT_EQ(BindMessageQueueLibrary(), 0);
    EXPECT_TRUE(NothingBound());
    EXPECT_EQ(CallSvcNodeExists(1), 0);
    EXPECT_EQ(CallEnqueueMessage(nullptr), 0);
    EXPECT_EQ(CallLocalSysName(), 0u);
    const std::uint8_t* mac = CallQueue32LocalMACAddr();
    EXPECT_EQ(std::memcmp(mac, "\0\0\0\0\0\0\0\0", 8), 0);

    // A node constructed now has no library node, no name, and calls nothing.
    node_test::CountingCommand command(1);
    {
        ServiceNode node("unbound", 0, 1);
        EXPECT_EQ(node.IsConnected(), 0);
        EXPECT_EQ(node.GetName(), nullptr);
        command.SetRemoteName("anyone");
        node.SendCommandAndWait(&command);
    }
    EXPECT_EQ(command.GetResult(), kResultNotConnected);
}

TEST_F(BindingTest, RequiredEntriesAloneBindWithFallbacks) {
    UseLibraryIn("variants/required_only");
    ASSERT_EQ(BindMessageQueueLibrary(), 1);
    const MessageQueueBinding& binding = GetMessageQueueBinding();
    EXPECT_EQ(binding.enqueueMessage4, nullptr);
    EXPECT_EQ(binding.getGlobalTimeout, nullptr);
    EXPECT_EQ(binding.kovUseInputDesktop, nullptr);
    EXPECT_EQ(CallLocalSysName(), 0u);
    EXPECT_EQ(CallSetGlobalTimeout(3), 0);
    EXPECT_EQ(CallKovLocalUniqueID(), 0u);
    const std::uint8_t* mac = CallQueue32LocalMACAddr();
    EXPECT_EQ(std::memcmp(mac, "\0\0\0\0\0\0\0\0", 8), 0);

    {
        node_test::EchoNode server("required-only-server");
        ASSERT_EQ(server.IsConnected(), 1);
        Command toServer(1);
        toServer.SetRemoteName("required-only-server");
        void* accepted = toServer.BuildRequestMessage();
        EXPECT_EQ(CallEnqueueMessage4(accepted), 0) << "accepted";
        Command toNobody(1);
        toNobody.SetRemoteName("nobody-here");
        void* refused = toNobody.BuildRequestMessage();
        EXPECT_EQ(CallEnqueueMessage4(refused), 255) << "refused";
        QueueMessageFree(refused);

        // Sending works without the optional entries (no GetGlobalTimeout).
        ServiceNode client("required-only-client", 0, 1);
        Command command(2);
        command.SetRemoteName("required-only-server");
        client.SendCommandAndWait(&command);
        EXPECT_EQ(command.GetResult(), 102);
    }
    ShutdownMessageQueueLibrary();
}

TEST_F(BindingTest, TheRealLibraryOffersEveryEntry) {
    ASSERT_EQ(BindMessageQueueLibrary(), 1);
    const MessageQueueBinding& b = GetMessageQueueBinding();
    EXPECT_NE(b.getGlobalTimeout, nullptr);
    EXPECT_NE(b.enqueueMessage2, nullptr);
    EXPECT_NE(b.enqueueMessage4, nullptr);
    EXPECT_NE(b.kovUseInputDesktop, nullptr);
    EXPECT_NE(b.queue32GetFeatureFlags, nullptr);
    EXPECT_NE(CallQueue32LocalMACAddr(), nullptr);
}

TEST(DynamicLinkLibrary, BaseNameIsTheUpperCaseFileNameWithoutExtension) {
    struct Case { const char* path; const char* base; };
    const Case cases[] = {
        {"DIVIZE32.DLL", "DIVIZE32"},
        {"C:\\Program Files\\Orvane\\divize32.dll", "DIVIZE32"},
        {"C:divize32.dll", "DIVIZE32"},
        {"/opt/lib.d/module", "MODULE"},
        {"../dir/Name.Part.ext", "NAME.PART"},
        {"noext", "NOEXT"},
        {"dir/", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(DynamicLinkLibrary::BaseNameOf(c.path), c.base) << c.path;
}

TEST(DynamicLinkLibrary, CountsLoadsAndReleasesOnTheLast) {
    const std::string directory = test_support::BinaryDirectory() + "/framework-fakes/recording";
    win32_testing::SetModuleSearchOverride(directory.c_str());

    DynamicLinkLibrary empty(static_cast<const char*>(nullptr));
    EXPECT_EQ(empty.GetHandle(), nullptr);
    EXPECT_EQ(empty.FindEntry("InitApplication"), nullptr);
    DynamicLinkLibrary missing("NO-SUCH-LIBRARY.DLL");
    EXPECT_EQ(missing.GetHandle(), nullptr);
    EXPECT_EQ(missing.GetLoadCount(), 0u);
    EXPECT_EQ(missing.Load(), 0);

    DynamicLinkLibrary library("DIVIZE32.DLL");
    ASSERT_NE(library.GetHandle(), nullptr);
    EXPECT_EQ(library.GetBaseName(), "DIVIZE32");
    EXPECT_EQ(library.GetLoadCount(), 1u);
    EXPECT_EQ(library.Load(), 1);
    EXPECT_EQ(library.GetLoadCount(), 2u);
    EXPECT_EQ(library.Unload(), 1);
    EXPECT_NE(library.GetHandle(), nullptr);

    {
        // A wrapper of the module takes no share: neither Load, Unload nor
        // its destructor may release the module under its owner.
        DynamicLinkLibrary wrapper(library.GetHandle());
        EXPECT_EQ(wrapper.GetLoadCount(), 0u);
        EXPECT_FALSE(wrapper.GetPath().empty());
        EXPECT_EQ(wrapper.Load(), 1);
        wrapper.Unload();
        wrapper.Unload();
    }
    auto log = reinterpret_cast<LogFn>(library.FindEntry("FakeDivizeCallLog"));
    ASSERT_NE(log, nullptr);
    EXPECT_NE(log(), nullptr) << "the module is still loaded";

    EXPECT_EQ(library.Unload(), 1);
    EXPECT_EQ(library.GetHandle(), nullptr);
    EXPECT_EQ(library.GetLoadCount(), 0u);
    EXPECT_EQ(library.Unload(), 1);
    win32_testing::SetModuleSearchOverride(nullptr);
}

}  // namespace
