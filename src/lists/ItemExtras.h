#pragma once
// What a Startup item holds beside its bytes, attributes and times, and what an
// exact copy of it keeps too: its own rights and its named streams (a
// downloaded file's Zone.Identifier mark).
//
// Its own rights are the ACEs of its DACL that it does not inherit from its
// folder (all of them when the DACL is protected from inheritance), and whether
// it is protected. The inherited ACEs of a copy come from the folder it is in,
// as for any file Windows makes there. The owner of a copy is the account that
// writes it: another owner cannot be set without privileges Pacewick does not
// use, so the owner is neither kept nor compared.
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

namespace lists {

// Bounds of what a copy keeps: an item with more named streams, or more bytes
// in them, stays where it is.
constexpr std::size_t kMaxNamedStreams = 16;
constexpr std::size_t kMaxNamedStreamBytes = 1 << 20;

// Why an item whose rights or streams no copy can keep stays where it is.
constexpr const char* kExtrasNotKept = "its own rights or named streams cannot be kept in a copy";

struct OwnRights {
    bool kept = false;          // false: its file system keeps no rights
    bool isProtected = false;   // from inheriting its folder's ACEs
    std::vector<BYTE> aces;     // its own ACEs, one after the other, in the DACL's order
    bool operator==(const OwnRights& o) const {
        return kept == o.kept && isProtected == o.isProtected && aces == o.aces;
    }
};

struct NamedStream {
    std::wstring name;  // as the file system lists it: ":Zone.Identifier:$DATA"
    std::string bytes;
    bool operator==(const NamedStream& o) const { return name == o.name && bytes == o.bytes; }
};

struct ItemExtras {
    OwnRights rights;
    std::vector<NamedStream> streams;  // sorted by name
    bool operator==(const ItemExtras& o) const { return rights == o.rights && streams == o.streams; }
};

// A stream's name as listed, ":name:$DATA", with no path separator, colon or
// NUL in `name`: one stream of the file, never another file.
bool IsStreamName(const std::wstring& name);

// Reads and writes what an item holds beside its bytes. Every call returns
// false when it cannot do it whole.
class ExtrasStore {
public:
    virtual ~ExtrasStore() = default;
    // From an open file (opened with READ_CONTROL).
    virtual bool Read(HANDLE file, ItemExtras* extras) const = 0;
    // Into the new file `file`, opened by its full path `path` and still open.
    virtual bool WriteStreams(HANDLE file, const std::wstring& path, const std::vector<NamedStream>& streams) const = 0;
    // Through `file`, opened with WRITE_DAC.
    virtual bool WriteRights(HANDLE file, const OwnRights& rights) const = 0;
};

// The file system's: the DACL read and set on the open handle
// (GetSecurityInfo, SetSecurityInfo), the streams listed from it
// (FileStreamInfo) and read and written as `path:name`.
const ExtrasStore& FileSystemExtras();

// The store used: the file system's, or a test's, which keeps what Wine does not
// (Wine keeps no DACL of a file's own, nor any named stream).
std::atomic<const ExtrasStore*>& ExtrasHook();

}  // namespace lists
