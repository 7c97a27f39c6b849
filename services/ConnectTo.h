// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace paveno {

// Connection mapping in curl's CONNECT_TO form, "HOST:PORT:ADDR:PORT" (an empty HOST or PORT matches any). A fetch
// for a mapped host connects to ADDR:PORT instead, while its URL and Host header keep the configured host: this is how
// the demo and the tests point the program at a local site.

// The entries of the command line (every "--connect-to ENTRY" or "--connect-to=ENTRY", in order). Other arguments are
// left alone; a "--connect-to" without a value is ignored.
std::vector<std::string> ConnectToFromArguments(const std::vector<std::string>& args);
std::vector<std::string> ConnectToFromArguments(int argc, const char* const* argv);

// Replaces the mapping given by the program (its command line). Empty entries are dropped.
void SetConnectTo(std::vector<std::string> entries);

// What a fetch uses now: the program's entries first, so that they win over the environment, then those of
// PAVENO_CONNECT_TO (entries separated by ","), read afresh on every call.
std::vector<std::string> ActiveConnectTo();

// Whether an entry has the CONNECT_TO form: four ":"-separated fields (an IPv6 address in "[...]"), each port empty or
// 1 to 65535, no blanks or control characters. An unreadable entry is a mistake to tell, not one to drop in silence.
bool ConnectToEntryReadable(std::string_view entry);
// The first unreadable entry of the environment's PAVENO_CONNECT_TO, or nullopt when all can be read.
std::optional<std::string> UnreadableConnectToInEnvironment();

// Splits a ","-separated list, trimming spaces and dropping empty entries.
std::vector<std::string> SplitConnectToList(std::string_view list);

} // namespace paveno
