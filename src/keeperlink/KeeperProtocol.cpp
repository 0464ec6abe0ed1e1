#include "keeperlink/KeeperProtocol.h"

#include <cstring>

#include "win/LittleEndian.h"

namespace keeper {
namespace {

// Appends a number's bytes to a message.
template <typename Number>
void Put(std::vector<BYTE>& bytes, Number number) {
    const std::size_t at = bytes.size();
    bytes.resize(at + sizeof(Number));
    win::PutLittleEndian(number, bytes.data() + at);
}

void PutWord(std::vector<BYTE>& bytes, std::uint32_t word) { Put(bytes, word); }

std::uint32_t WordAt(const BYTE* bytes) { return win::GetLittleEndian<std::uint32_t>(bytes); }

// 5 was a restore before the package's removal, which that removal now does as the system.
bool KnownVerb(std::uint32_t verb) { return verb >= 1 && verb <= 4; }

}  // namespace

std::vector<BYTE> EncodeRequest(const Request& request) {
    std::vector<BYTE> bytes;
    PutWord(bytes, static_cast<std::uint32_t>(request.verb));
    PutWord(bytes, request.row);
    PutWord(bytes, static_cast<std::uint32_t>(request.name.size()));
    for (wchar_t unit : request.name) Put(bytes, static_cast<std::uint16_t>(unit));
    return bytes;
}

bool DecodeRequest(const BYTE* bytes, DWORD size, Request* request) {
    if (!bytes || !request || size < kHeaderSize || size > kMaxRequest) return false;
    const std::uint32_t verb = WordAt(bytes);
    const std::uint32_t units = WordAt(bytes + 8);
    if (!KnownVerb(verb) || units > (kMaxRequest - kHeaderSize) / 2 || size != kHeaderSize + units * 2) return false;
    std::wstring name(units, L'\0');
    for (std::uint32_t i = 0; i < units; ++i) {
        name[i] = static_cast<wchar_t>(win::GetLittleEndian<std::uint16_t>(bytes + kHeaderSize + 2 * i));
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
