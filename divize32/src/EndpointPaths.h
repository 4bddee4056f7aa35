// EndpointPaths.h - where a node's endpoint lives on this machine.
//
// Every node is two files in the endpoint directory: "<encoded>.sock", the
// listening Unix-domain socket, and "<encoded>.lock", which the owning
// process holds flock'ed for the node's life. The encoding keeps any name
// inside the directory: bytes outside [A-Za-z0-9_.-], a leading dot and a dot
// after a dot become %XX, so no '/', no "." / ".." component and no hidden
// file can result. Stateless; safe from any thread.
#pragma once

#include <optional>
#include <string>

namespace divize {

struct EndpointPaths {
    std::string socketPath;
    std::string lockPath;
};

// The endpoint directory: $DIVIZE_DIR, else $XDG_RUNTIME_DIR/divize, else
// /tmp/divize-<uid>. Creates it with mode 0700 when missing. Returns nothing
// when it cannot be created, is not a directory (a symbolic link is not),
// belongs to another user or is writable by group or others.
std::optional<std::string> ResolveEndpointDirectory();

// The file-name stem for a node name; nothing for an empty name.
std::optional<std::string> EncodeNodeName(const char* name);

// Both paths for a node name, or nothing when the directory is unusable, the
// name cannot be encoded or the socket path does not fit sockaddr_un.
std::optional<EndpointPaths> MakeEndpointPaths(const char* name);

}  // namespace divize
