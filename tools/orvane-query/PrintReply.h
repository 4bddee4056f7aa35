// PrintReply.h - how orvane-query shows a reply.
#pragma once

#include <ostream>
#include <string>

#include "QueryOptions.h"
#include "framework/Command.h"

// Prints the reply loaded into `command` (result and reply items) in the
// chosen format. kRaw writes the first reply item's bytes and nothing else.
// A successful code-13 reply is decoded as an availability report: a table
// (text) or a "report" member (JSON). Returns false when that report does
// not parse (it is then shown as an error, never trusted further).
bool PrintReply(std::ostream& out, const QueryOptions& options, const Command& command);

// Prints a request that ended without a reply (`what` says why) in the chosen
// format: JSON prints an object with an "error" member; text and raw print
// nothing on `out` (the caller reports on standard error).
void PrintFailure(std::ostream& out, const QueryOptions& options, const Command& command,
                  const std::string& what);

// `text` as a JSON string literal, quotes included.
std::string JsonString(const std::string& text);
