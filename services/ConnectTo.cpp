// SPDX-License-Identifier: MIT
#include "services/ConnectTo.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>

namespace paveno {

namespace {

std::mutex mappingMutex;
std::vector<std::string> programEntries;

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

} // namespace

std::vector<std::string> SplitConnectToList(std::string_view list) {
    std::vector<std::string> entries;
    while (!list.empty()) {
        const auto comma = list.find(',');
        const auto entry = Trimmed(list.substr(0, comma));
        if (!entry.empty()) entries.emplace_back(entry);
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return entries;
}

bool ConnectToEntryReadable(std::string_view entry) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    bool bracket = false;
    for (std::size_t i = 0; i <= entry.size(); ++i) {
        const char c = i < entry.size() ? entry[i] : ':';
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F || c == ',' || c == '/') return false;
        if (c == '[') bracket = true;
        if (c == ']') bracket = false;
        if (c == ':' && !bracket) {
            fields.push_back(entry.substr(start, i - start));
            start = i + 1;
        }
    }
    if (fields.size() != 4) return false;
    for (const std::string_view port : {fields[1], fields[3]}) {
        if (port.empty()) continue;
        if (port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        const int number = std::stoi(std::string(port));
        if (number < 1 || number > 65535) return false;
    }
    for (const std::string_view host : {fields[0], fields[2]}) {
        const std::string_view inside = host.starts_with('[') ? host.substr(1, host.size() - 1) : host;
        if (host.starts_with('[') && (!inside.ends_with(']') || inside.size() < 2)) return false;
        if (inside.substr(0, inside.size() - (host.starts_with('[') ? 1 : 0)).find_first_of("[]") != inside.npos)
            return false;
    }
    return true;
}

std::optional<std::string> UnreadableConnectToInEnvironment() {
    if (const char* env = std::getenv("PAVENO_CONNECT_TO")) {
        for (auto& entry : SplitConnectToList(env))
            if (!ConnectToEntryReadable(entry)) return entry;
    }
    return std::nullopt;
}

std::vector<std::string> ConnectToFromArguments(const std::vector<std::string>& args) {
    static constexpr std::string_view option = "--connect-to";
    std::vector<std::string> entries;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == option) {
            if (i + 1 < args.size()) entries.push_back(args[++i]);
        } else if (arg.size() > option.size() && arg.starts_with(option) && arg[option.size()] == '=') {
            entries.emplace_back(arg.substr(option.size() + 1));
        }
    }
    return entries;
}

std::vector<std::string> ConnectToFromArguments(int argc, const char* const* argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i] ? argv[i] : "");
    return ConnectToFromArguments(args);
}

void SetConnectTo(std::vector<std::string> entries) {
    std::vector<std::string> kept;
    for (const auto& e : entries) {
        const auto t = Trimmed(e);
        if (!t.empty()) kept.emplace_back(t);
    }
    std::lock_guard lock(mappingMutex);
    programEntries = std::move(kept);
}

std::vector<std::string> ActiveConnectTo() {
    std::vector<std::string> entries;
    {
        std::lock_guard lock(mappingMutex);
        entries = programEntries;
    }
    if (const char* env = std::getenv("PAVENO_CONNECT_TO")) {
        for (auto& e : SplitConnectToList(env))
            entries.push_back(std::move(e));
    }
    return entries;
}

} // namespace paveno
