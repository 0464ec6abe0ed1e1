#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The requests an account's Pacewick sends to the keeper service, and its
// replies. A request carries a verb, a row of the source table
// (lists::BuildSourceTable()) and a value name, never data: the service never
// writes anything a caller sent it. One reply per request, one request per
// connection.
//
//   request: verb (uint32) | row (uint32) | name length in UTF-16 units (uint32) | the name
//   reply:   status (uint32) | detail (uint32)
//
// Little-endian, as every Windows machine is. A request whose length does not
// match its name, whose name holds a NUL, or that is longer than kMaxRequest
// is malformed.
namespace keeper {

constexpr const wchar_t* kPipeName = L"\\\\.\\pipe\\Quorvell.Pacewick.Keeper";
constexpr const wchar_t* kServiceName = L"PacewickKeeper";
constexpr DWORD kMaxRequest = 64 * 1024;
constexpr DWORD kHeaderSize = 12;
constexpr DWORD kReplySize = 8;

enum class Verb : std::uint32_t {
    Ping = 1,         // detail: the rows the service keeps, and kHeldOff while it holds off
    // The verbs that change the machine are granted to elevated administrators only.
    RestoreAll = 2,   // restore the machine's rows and hold off the take-overs
    Resume = 3,       // end the hold-off and take over at once
    DeleteEntry = 4,  // delete the name from the row's BackUp key
};

enum class Status : std::uint32_t {
    Ok = 0,
    BadRequest = 1,  // malformed, unknown or not allowed for this row: nothing changed
    Denied = 2,      // the caller may not ask this: nothing changed
    Failed = 3,      // understood and allowed, but the registry refused part of it
    NoService = 100, // (the client's own) no keeper answered
};

constexpr std::uint32_t kHeldOff = 0x100;

// Where the hold-off after a restore is kept, so that a restart of the service
// does not undo it: a DWORD under the machine's own key of the program (64-bit
// view), 1 while held off. Every account may read it: its window says so.
constexpr const wchar_t* kKeeperKey = L"software\\Quorvell Software\\Pacewick";
constexpr const wchar_t* kHoldOffValue = L"KeeperHoldOff";

struct Request {
    Verb verb = Verb::Ping;
    std::uint32_t row = 0;
    std::wstring name;
};

struct Reply {
    Status status = Status::NoService;
    std::uint32_t detail = 0;
};

std::vector<BYTE> EncodeRequest(const Request& request);
// False for a malformed request or an unknown verb.
bool DecodeRequest(const BYTE* bytes, DWORD size, Request* request);
std::vector<BYTE> EncodeReply(const Reply& reply);
bool DecodeReply(const BYTE* bytes, DWORD size, Reply* reply);

const char* VerbName(Verb verb);

}  // namespace keeper
