#include "keeperlink/KeeperProtocol.h"

#include <cstring>

namespace keeper {
namespace {

void PutWord(std::vector<BYTE>& bytes, std::uint32_t word) {
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<BYTE>(word >> shift));
}

std::uint32_t WordAt(const BYTE* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// 5 was a restore before the package's removal, which that removal now does as the system.
bool KnownVerb(std::uint32_t verb) { return verb >= 1 && verb <= 4; }

}  // namespace

std::vector<BYTE> EncodeRequest(const Request& request) {
    std::vector<BYTE> bytes;
    PutWord(bytes, static_cast<std::uint32_t>(request.verb));
    PutWord(bytes, request.row);
    PutWord(bytes, static_cast<std::uint32_t>(request.name.size()));
    for (wchar_t unit : request.name) {
        bytes.push_back(static_cast<BYTE>(unit & 0xFF));
        bytes.push_back(static_cast<BYTE>((unit >> 8) & 0xFF));
    }
    return bytes;
}

bool DecodeRequest(const BYTE* bytes, DWORD size, Request* request) {
    if (!bytes || !request || size < kHeaderSize || size > kMaxRequest) return false;
    const std::uint32_t verb = WordAt(bytes);
    const std::uint32_t units = WordAt(bytes + 8);
    if (!KnownVerb(verb) || units > (kMaxRequest - kHeaderSize) / 2 || size != kHeaderSize + units * 2) return false;
    std::wstring name(units, L'\0');
    for (std::uint32_t i = 0; i < units; ++i) {
        name[i] = static_cast<wchar_t>(bytes[kHeaderSize + 2 * i] | bytes[kHeaderSize + 2 * i + 1] << 8);
        if (name[i] == L'\0') return false;
    }
    request->verb = static_cast<Verb>(verb);
    request->row = WordAt(bytes + 4);
    request->name = std::move(name);
    return true;
}

std::vector<BYTE> EncodeReply(const Reply& reply) {
    std::vector<BYTE> bytes;
    PutWord(bytes, static_cast<std::uint32_t>(reply.status));
    PutWord(bytes, reply.detail);
    return bytes;
}

bool DecodeReply(const BYTE* bytes, DWORD size, Reply* reply) {
    if (!bytes || !reply || size != kReplySize) return false;
    reply->status = static_cast<Status>(WordAt(bytes));
    reply->detail = WordAt(bytes + 4);
    return true;
}

const char* VerbName(Verb verb) {
    switch (verb) {
    case Verb::Ping: return "ping";
    case Verb::RestoreAll: return "restore all";
    case Verb::Resume: return "resume";
    case Verb::DeleteEntry: return "delete entry";
    }
    return "unknown";
}

}  // namespace keeper
