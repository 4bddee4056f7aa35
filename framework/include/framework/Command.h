// Command.h - one request together with its reply, and the item heap.
//
// A Command carries a code, a result, two lists of opaque byte items
// (parameters travel with the request, replies with the reply), the local
// and remote node names, the sequence number that ties a reply to its
// request, a timeout, flags and a tag. It serialises itself into queue
// messages (framework/MessageFormat.h) and loads itself back from them.
//
// Ownership: a Command owns both lists' arrays, every item block and both
// names. Item blocks come from the item heap (AllocateItemBuffer /
// FreeItemBuffer): a block given to Attach* must come from it, a block
// obtained with Take* goes back to it.
//
// Limits: a list holds at most kMaxItems items; an append beyond refuses and
// returns 0. A message the 16-bit header fields cannot describe (more than
// 65535 items, or names and length table ending after byte 65535, or more
// than 2^32 - 1 bytes in all) is not built: the builders return null.
//
// Thread-safety: none; one thread uses a Command at a time. The request
// sequence counter behind AssignSequence is atomic, so Commands built on
// several threads never share a number.
#pragma once

#include <cstdint>
#include <string>

// Item heap.
// A block of `size` bytes (a zero-byte request still gives a distinct
// block), or null when the heap refuses.
void* AllocateItemBuffer(std::uint32_t size);
// Returns a block to the item heap; null is accepted and ignored.
void FreeItemBuffer(void* block);

// 1 when bit 0 of the message's kind is set (a reply), else 0.
int IsReplyMessage(const void* message);
// 1 when bit 0 of the message's kind is clear (a request), else 0.
int IsRequestMessage(const void* message);

class Command {
public:
    static constexpr std::uint32_t kDefaultTimeoutMs = 15000;
    static constexpr std::uint32_t kMaxItems = 65535;

    // flags bits.
    static constexpr std::uint32_t DeferReply = 1;         // the handler answers later (SendReply)
    static constexpr std::uint32_t ReleaseParameters = 2;  // free each parameter once copied into a request

    explicit Command(std::int32_t code);
    Command(const Command& other);
    Command& operator=(const Command&) = delete;
    virtual ~Command();

    // Builds the reply message (kind 1): this Command's sequence (the
    // request's), its result as the code, its reply items. Null when the
    // message cannot be allocated or described. Caller owns the message.
    virtual void* BuildReplyMessage();
    // Builds the request message (kind 0) and takes the next sequence number
    // first, whether or not the message can be built. Null when it cannot be
    // allocated or described; the parameters are then kept.
    virtual void* BuildRequestMessage();
    // Called once by the sending node when a sent request ends (reply,
    // timeout or failure); result is set by then. Does nothing here.
    virtual void OnComplete();

    // Loads code, sequence, tag, names and parameters from a request
    // message of totalLength bytes. Clears the parameters first. 0 when the
    // message is a reply or is malformed (names, table or items outside
    // totalLength, a name field without its NUL) or an item cannot be
    // copied; the Command then holds no parameters.
    int ParseRequest(const void* message);
    // Loads result, tag, names and reply items from the reply to this
    // Command. Clears the replies first. 0 when the message is a request,
    // carries another sequence, or is malformed as above.
    int ParseReply(const void* message);

    // Items. An index at or beyond the count is out of range.
    // Attach*: the Command takes the block (from the item heap). 1, or 0 when
    // the list is full; the block then stays the caller's.
    int AttachParameter(void* block, std::uint32_t length);
    int AttachReply(void* block, std::uint32_t length);
    // Add*: appends a copy of the bytes. 1, or 0 when the list is full or the
    // item heap refuses the block; nothing changes then.
    int AddParameter(const void* bytes, std::uint32_t length);
    int AddReply(const void* bytes, std::uint32_t length);
    void* GetParameter(std::uint32_t index) const;
    void* GetReply(std::uint32_t index) const;
    std::uint32_t GetParameterLength(std::uint32_t index) const;
    std::uint32_t GetReplyLength(std::uint32_t index) const;
    std::uint32_t GetParameterCount() const { return parameters.count; }
    std::uint32_t GetReplyCount() const { return replies.count; }
    // The caller owns the block afterwards; the slot is emptied but the count
    // stays. Out of range: length 0, null.
    void* TakeParameter(std::uint32_t index, std::uint32_t* length);
    void* TakeReply(std::uint32_t index, std::uint32_t* length);
    // Drops every parameter and resets code, timeoutMs and flags.
    void ClearParameters();
    // Drops every reply item and resets result.
    void ClearReplies();

    // Fields.
    std::int32_t GetCode() const { return code; }
    void SetCode(std::int32_t value) { code = value; }
    std::int32_t GetResult() const { return result; }
    void SetResult(std::int32_t value) { result = value; }
    const char* GetLocalName() const { return localName; }
    const char* GetRemoteName() const { return remoteName; }
    void SetLocalName(const char* name);
    void SetRemoteName(const char* name);
    // A new text: the name cut before its first "::"; a single ':' never
    // cuts. An unset name gives an empty text.
    std::string GetLocalBaseName() const;
    std::string GetRemoteBaseName() const;
    void AssignSequence();
    std::uint32_t GetSequence() const { return sequence; }
    std::uint32_t GetTimeoutMs() const { return timeoutMs; }
    void SetTimeoutMs(std::uint32_t value) { timeoutMs = value; }
    std::uint32_t GetFlags() const { return flags; }
    void SetFlags(std::uint32_t value) { flags = value; }
    std::uint32_t GetTag() const { return tag; }
    void SetTag(std::uint32_t value) { tag = value; }

    // Entries in each array of a list (16 x (count / 16 + 1)).
    std::uint32_t GetParameterCapacity() const { return parameters.capacity; }
    std::uint32_t GetReplyCapacity() const { return replies.capacity; }

protected:
    // Both builders share one writer; the kind distinguishes them.
    void* BuildMessage(std::uint8_t kind, bool request);

private:
    // One list: parallel arrays of lengths and blocks.
    struct ItemList {
        std::uint32_t count = 0;
        std::uint32_t capacity = 0;
        std::uint32_t* lengths = nullptr;
        void** blocks = nullptr;
    };
    static void InitList(ItemList& list, std::uint32_t capacity);
    static void ReleaseList(ItemList& list);
    static void CopyList(ItemList& to, const ItemList& from);
    static int Append(ItemList& list, void* block, std::uint32_t length);
    static int AddCopy(ItemList& list, const void* bytes, std::uint32_t length);
    static void* Take(ItemList& list, std::uint32_t index, std::uint32_t* length);
    // Loads the message's items into `list` (cleared on failure).
    static int LoadItems(ItemList& list, const void* message);

    std::int32_t code;
    std::int32_t result = 0;
    ItemList parameters;
    ItemList replies;
    char* localName = nullptr;
    char* remoteName = nullptr;
    std::uint32_t sequence = 0;
    std::uint32_t timeoutMs = kDefaultTimeoutMs;
    std::uint32_t flags = 0;
    std::uint32_t tag = 0;
};

// A Command whose messages carry kinds 2 (request) and 3 (reply); a node
// answers kind 2 on its own with an empty acknowledgement.
class SendAuthorizationCommand : public Command {
public:
    explicit SendAuthorizationCommand(std::int32_t commandCode) : Command(commandCode) {}
    void* BuildReplyMessage() override;
    void* BuildRequestMessage() override;
};
