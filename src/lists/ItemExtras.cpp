#include "lists/ItemExtras.h"

#include <aclapi.h>

#include <algorithm>
#include <cstddef>
#include <utility>

#include "win/ProtectedFolder.h"
#include "win/Scoped.h"

namespace lists {
namespace {

using UniqueSecurity = win::Unique<win::LocalTraits<PSECURITY_DESCRIPTOR>>;

// Room for the list of kMaxNamedStreams streams with names of the longest: a
// longer list is more than a copy keeps.
constexpr DWORD kStreamListBytes = 16 << 10;

// The answers of a file system that keeps no rights, or lists no streams,
// rather than of one that failed to read them: there is nothing a copy could
// lose. (Wine answers ERROR_INVALID_FUNCTION to the list of streams; a FAT
// volume ERROR_INVALID_PARAMETER.) Whether the volume says it keeps streams is
// not asked: that costs a round trip to the mount manager for every item.
bool KeptByNone(DWORD error) {
    return error == ERROR_INVALID_FUNCTION || error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED;
}

// The DACL of the open file and its descriptor's control bits.
bool ReadDacl(HANDLE file, UniqueSecurity* descriptor, PACL* dacl, DWORD* error) {
    *error = GetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl, nullptr,
                             descriptor->Put());
    return *error == ERROR_SUCCESS;
}

// Which ACEs of a DACL: those inherited from the folder, or the file's own.
enum class Aces { Inherited, Own };

// Appends the ACEs of `dacl` of that kind.
bool AppendAces(const ACL* dacl, Aces which, std::vector<BYTE>* aces) {
    const bool inherited = which == Aces::Inherited;
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        void* ace = nullptr;
        if (!GetAce(const_cast<PACL>(dacl), index, &ace)) return false;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (((header->AceFlags & INHERITED_ACE) != 0) != inherited) continue;
        const BYTE* bytes = static_cast<const BYTE*>(ace);
        aces->insert(aces->end(), bytes, bytes + header->AceSize);
    }
    return true;
}

bool ReadRights(HANDLE file, OwnRights* rights) {
    *rights = OwnRights();
    UniqueSecurity descriptor;
    PACL dacl = nullptr;
    DWORD error = 0;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!ReadDacl(file, &descriptor, &dacl, &error)) return KeptByNone(error);
    // A NULL DACL lets everyone do anything: no copy is given that.
    if (!dacl || !GetSecurityDescriptorControl(descriptor.Get(), &control, &revision)) return false;
    rights->kept = true;
    rights->isProtected = (control & SE_DACL_PROTECTED) != 0;
    // A protected DACL is all its own, whatever its ACEs' flags say.
    return rights->isProtected ? AppendAces(dacl, Aces::Inherited, &rights->aces) &&
                                     AppendAces(dacl, Aces::Own, &rights->aces)
                               : AppendAces(dacl, Aces::Own, &rights->aces);
}

// The own ACEs first, then (unless protected) those the new file inherited from
// its folder, in the order Windows gives them.
bool WriteOwnRights(HANDLE file, const OwnRights& rights) {
    if (!rights.kept) return true;  // nothing of its own: the folder's rights are the copy's
    UniqueSecurity descriptor;
    PACL current = nullptr;
    DWORD error = 0;
    std::vector<BYTE> aces = rights.aces;
    if (!rights.isProtected && (!ReadDacl(file, &descriptor, &current, &error) ||
                                (current && !AppendAces(current, Aces::Inherited, &aces))))
        return false;
    const std::size_t size = sizeof(ACL) + aces.size();
    if (size > 0xFFFC) return false;  // more than an ACL holds
    std::vector<DWORD> buffer((size + sizeof(DWORD) - 1) / sizeof(DWORD));
    auto* dacl = reinterpret_cast<PACL>(buffer.data());
    if (!InitializeAcl(dacl, static_cast<DWORD>(buffer.size() * sizeof(DWORD)), ACL_REVISION_DS) ||
        (!aces.empty() && !AddAce(dacl, ACL_REVISION_DS, MAXDWORD, aces.data(), static_cast<DWORD>(aces.size()))))
        return false;
    const SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION | (rights.isProtected
                                                                       ? PROTECTED_DACL_SECURITY_INFORMATION
                                                                       : UNPROTECTED_DACL_SECURITY_INFORMATION);
    return SetSecurityInfo(file, SE_FILE_OBJECT, what, nullptr, nullptr, dacl, nullptr) == ERROR_SUCCESS;
}

bool SameFile(HANDLE one, HANDLE other) {
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    return GetFileInformationByHandle(one, &a) && GetFileInformationByHandle(other, &b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// Reads one listed stream of the open file, of `size` bytes, whole. Opened by
// name (no handle opens a stream), not following links, and checked to be a
// stream of this very file.
bool ReadStream(HANDLE file, const std::wstring& path, NamedStream* stream, LONGLONG size) {
    win::UniqueHandle opened(CreateFileW((path + stream->name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN,
                                         nullptr));
    LARGE_INTEGER length{};
    if (!opened || !SameFile(file, opened.Get()) || !GetFileSizeEx(opened.Get(), &length) || length.QuadPart != size)
        return false;
    stream->bytes.assign(static_cast<std::size_t>(size), '\0');
    DWORD read = 0;
    char after = 0;
    return (size == 0 || (ReadFile(opened.Get(), &stream->bytes[0], static_cast<DWORD>(size), &read, nullptr) &&
                          read == size)) &&
           ReadFile(opened.Get(), &after, 1, &read, nullptr) && read == 0;
}

bool ReadStreams(HANDLE file, std::vector<NamedStream>* streams) {
    streams->clear();
    std::vector<LONGLONG> buffer(kStreamListBytes / sizeof(LONGLONG));  // aligned as the entries need
    if (!GetFileInformationByHandleEx(file, FileStreamInfo, buffer.data(), kStreamListBytes))
        return KeptByNone(GetLastError());
    const BYTE* list = reinterpret_cast<const BYTE*>(buffer.data());
    std::wstring path;
    std::size_t total = 0;
    for (std::size_t at = 0;;) {
        const std::size_t nameAt = at + offsetof(FILE_STREAM_INFO, StreamName);
        if (nameAt > kStreamListBytes) return false;
        const auto* entry = reinterpret_cast<const FILE_STREAM_INFO*>(list + at);
        if (entry->StreamNameLength > kStreamListBytes - nameAt) return false;
        NamedStream stream{std::wstring(entry->StreamName, entry->StreamNameLength / sizeof(wchar_t)), {}};
        if (stream.name != L"::$DATA") {  // not the unnamed stream, which is the file's bytes
            const LONGLONG size = entry->StreamSize.QuadPart;
            if (!IsStreamName(stream.name) || streams->size() == kMaxNamedStreams || size < 0 ||
                size > static_cast<LONGLONG>(kMaxNamedStreamBytes - total))
                return false;
            total += static_cast<std::size_t>(size);
            if (path.empty() && (path = win::OpenablePath(file)).empty()) return false;
            if (!ReadStream(file, path, &stream, size)) return false;
            streams->push_back(std::move(stream));
        }
        if (entry->NextEntryOffset == 0) break;
        at += entry->NextEntryOffset;
    }
    std::sort(streams->begin(), streams->end(),
              [](const NamedStream& a, const NamedStream& b) { return a.name < b.name; });
    return true;
}

class FileSystem : public ExtrasStore {
public:
    bool Read(HANDLE file, ItemExtras* extras) const override {
        return ReadRights(file, &extras->rights) && ReadStreams(file, &extras->streams);
    }

    bool WriteStreams(HANDLE, const std::wstring& path, const std::vector<NamedStream>& streams) const override {
        for (const NamedStream& stream : streams) {
            if (!IsStreamName(stream.name) || stream.bytes.size() > kMaxNamedStreamBytes) return false;
            win::UniqueHandle opened(CreateFileW((path + stream.name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                                 FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
            DWORD written = 0;
            const DWORD size = static_cast<DWORD>(stream.bytes.size());
            if (!opened || (size && (!WriteFile(opened.Get(), stream.bytes.data(), size, &written, nullptr) ||
                                     written != size)) ||
                !FlushFileBuffers(opened.Get()))
                return false;
        }
        return true;
    }

    bool WriteRights(HANDLE file, const OwnRights& rights) const override { return WriteOwnRights(file, rights); }
};

}  // namespace

bool IsStreamName(const std::wstring& name) {
    static const std::wstring kData = L":$DATA";
    return name.size() > kData.size() + 1 && name[0] == L':' &&
           name.compare(name.size() - kData.size(), kData.size(), kData) == 0 &&
           name.find_first_of(std::wstring(L"\\/:\0", 4), 1) == name.size() - kData.size();
}

const ExtrasStore& FileSystemExtras() {
    static const FileSystem store;
    return store;
}

std::atomic<const ExtrasStore*>& ExtrasHook() {
    static std::atomic<const ExtrasStore*> store{&FileSystemExtras()};
    return store;
}

}  // namespace lists
