// The exported entry sets of the library and its two binding-test variants,
// and the simple optional entries.
#include <dlfcn.h>

#include <cstring>
#include <filesystem>

#include "DivizeEntries.h"
#include "DivizeTestSupport.h"
#include "TestMessage.h"

namespace divize_test {
namespace {

using EntriesTest = DivizeTest;

const char* const kRequired[] = {"InitApplication", "TermApplication", "AllocateMessage", "FreeMessage",
                                 "EnqueueMessage",  "SvcNodeExists",   "CreateSvcNode",   "DeleteSvcNode"};
const char* const kOptional[] = {"GetGlobalTimeout",   "SetGlobalTimeout",       "SetLocalSysName",
                                 "LocalSysName",       "EnqueueMessage2",        "Queue32LocalMACAddr",
                                 "KovLocalUniqueID",   "EnqueueMessage4",        "KovUseInputDesktop",
                                 "Queue32SetFeatureFlags", "Queue32GetFeatureFlags"};
const char* const kLinked[] = {"QueueMessageAlloc", "QueueMessageFree"};

// A variant library loaded privately, as the framework's binding would.
class LoadedLibrary {
public:
    explicit LoadedLibrary(const std::string& path) : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
    ~LoadedLibrary() { Close(); }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;
    bool Loaded() const { return handle_ != nullptr; }
    void* Find(const char* name) const { return dlsym(handle_, name); }
    int Close() {
        const int result = handle_ != nullptr ? dlclose(handle_) : 0;
        handle_ = nullptr;
        return result;
    }

private:
    void* handle_;
};

std::string VariantPath(const char* variant) {
    return ExecutableDirectory() + "/variants/" + variant + "/libdivize32.so";
}

TEST_F(EntriesTest, TheLibraryExportsEveryEntry) {
    for (const char* name : kRequired) EXPECT_NE(dlsym(RTLD_DEFAULT, name), nullptr) << name;
    for (const char* name : kOptional) EXPECT_NE(dlsym(RTLD_DEFAULT, name), nullptr) << name;
    for (const char* name : kLinked) EXPECT_NE(dlsym(RTLD_DEFAULT, name), nullptr) << name;
}

TEST_F(EntriesTest, VariantsExportOnlyWhatTheirNamesSay) {
    struct Case {
        const char* variant;
        bool hasDelete;
        bool hasOptional;
        bool hasLinked;
    };
    const Case cases[] = {{"nodelete", false, true, true}, {"required_only", true, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.variant);
        LoadedLibrary library(VariantPath(c.variant));
        ASSERT_TRUE(library.Loaded()) << dlerror();
        for (const char* name : kRequired) {
            const bool expected = std::strcmp(name, "DeleteSvcNode") != 0 || c.hasDelete;
            EXPECT_EQ(library.Find(name) != nullptr, expected) << name;
        }
        for (const char* name : kOptional) EXPECT_EQ(library.Find(name) != nullptr, c.hasOptional) << name;
        for (const char* name : kLinked) EXPECT_EQ(library.Find(name) != nullptr, c.hasLinked) << name;
        // A distinct copy, not the real library already loaded.
        EXPECT_NE(library.Find("CreateSvcNode"), dlsym(RTLD_DEFAULT, "CreateSvcNode"));
    }
}

// Unloading a library whose threads run and whose node is registered stops
// the threads and removes the endpoint; nothing is left to crash later.
TEST_F(EntriesTest, UnloadingARunningLibraryStopsItCleanly) {
    LoadedLibrary library(VariantPath("nodelete"));
    ASSERT_TRUE(library.Loaded()) << dlerror();
    auto init = reinterpret_cast<InitApplicationFn>(library.Find("InitApplication"));
    auto create = reinterpret_cast<CreateSvcNodeFn>(library.Find("CreateSvcNode"));
    ASSERT_NE(init, nullptr);
    ASSERT_NE(create, nullptr);
    ASSERT_EQ(init(), 1);
    Recorder node;
    ASSERT_NE(create("unloaded", &node, Recorder::Callback), 0u);
    ASSERT_TRUE(node.WaitForTicks(1));
    ASSERT_TRUE(Send("x", "unloaded", 1));
    ASSERT_TRUE(node.WaitForMessages(1));
    ASSERT_EQ(library.Close(), 0);
    EXPECT_FALSE(std::filesystem::exists(SocketPath("unloaded")));
    const std::size_t calls = node.CallCount();
    EXPECT_FALSE(Send("x", "unloaded", 2));
    EXPECT_EQ(node.CallCount(), calls);
}

TEST_F(EntriesTest, OptionalEntriesKeepTheirValues) {
    EXPECT_EQ(GetGlobalTimeout("anyone", 15000), 15000u);
    EXPECT_EQ(GetGlobalTimeout(nullptr, 0), 0u);
    EXPECT_EQ(SetLocalSysName(77), 1);
    EXPECT_EQ(LocalSysName(), 77u);
    EXPECT_EQ(Queue32SetFeatureFlags(0x5A5A), 1);
    EXPECT_EQ(Queue32GetFeatureFlags(), 0x5A5Au);
    EXPECT_EQ(SetGlobalTimeout(3000), 1);
    EXPECT_EQ(KovUseInputDesktop(1), 1);
    const std::uint8_t* mac = Queue32LocalMACAddr();
    ASSERT_NE(mac, nullptr);
    EXPECT_EQ(mac, Queue32LocalMACAddr());
    EXPECT_EQ(mac[6], 0);
    EXPECT_EQ(mac[7], 0);
    EXPECT_EQ(KovLocalUniqueID(), KovLocalUniqueID());
}

TEST_F(EntriesTest, AllocatorsAndReleasersAreInterchangeable) {
    void* a = AllocateMessage(64);
    void* b = QueueMessageAlloc(64);
    void* empty = QueueMessageAlloc(0);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_NE(empty, nullptr);
    std::memset(a, 1, 64);
    std::memset(b, 2, 64);
    QueueMessageFree(a);
    FreeMessage(b);
    FreeMessage(empty);
    FreeMessage(nullptr);
    QueueMessageFree(nullptr);
}

TEST_F(EntriesTest, EnqueueVariantsReportAcceptanceTheirOwnWay) {
    Recorder node;
    ASSERT_NE(CreateSvcNode("either", &node, Recorder::Callback), 0u);
    MessageSpec spec;
    spec.source = "x";
    spec.target = "either";
    spec.sequence = 1;
    EXPECT_EQ(EnqueueMessage2(BuildMessage(spec), 1), 1);
    spec.sequence = 2;
    EXPECT_EQ(EnqueueMessage4(BuildMessage(spec), 0), 0);
    ASSERT_TRUE(node.WaitForMessages(2));
    EXPECT_EQ(node.Messages()[1].sequence, 2u);
}

}  // namespace
}  // namespace divize_test
