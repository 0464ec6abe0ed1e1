#include "lists/ExactCopy.h"

#include <string>
#include <utility>
#include <vector>

#include "lists/ItemExtras.h"
#include "win/Diagnostics.h"

namespace lists {
namespace {

constexpr DWORD kChunk = 1 << 20;

struct Facts {
    FILE_BASIC_INFO basic{};
    LARGE_INTEGER size{};
};

bool ReadFacts(HANDLE file, Facts* facts) {
    return GetFileInformationByHandleEx(file, FileBasicInfo, &facts->basic, sizeof facts->basic) &&
           GetFileSizeEx(file, &facts->size);
}

bool Rewind(HANDLE file) {
    const LARGE_INTEGER start{};
    return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != 0;
}

// Reads up to one chunk; false on a read error.
bool ReadChunk(HANDLE file, std::vector<char>& buffer, DWORD* read) {
    return ReadFile(file, buffer.data(), kChunk, read, nullptr) != 0;
}

bool SameBytes(HANDLE one, HANDLE other) {
    if (!Rewind(one) || !Rewind(other)) return false;
    std::vector<char> first(kChunk), second(kChunk);
    for (;;) {
        DWORD a = 0, b = 0;
        if (!ReadChunk(one, first, &a) || !ReadChunk(other, second, &b) || a != b) return false;
        if (a == 0) return true;
        if (std::char_traits<char>::compare(first.data(), second.data(), a) != 0) return false;
    }
}

bool CopyBytes(HANDLE from, HANDLE to) {
    std::vector<char> buffer(kChunk);
    if (!Rewind(from)) return false;
    for (;;) {
        DWORD read = 0, written = 0;
        if (!ReadChunk(from, buffer, &read)) return false;
        if (read == 0) return FlushFileBuffers(to) != 0;  // on disk before its name replaces anything
        if (!WriteFile(to, buffer.data(), read, &written, nullptr) || written != read) return false;
    }
}

bool SetAttributes(const std::wstring& path, DWORD attributes) {
    return SetFileAttributesW(LongPath(path).c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL) != 0;
}

// Renames the file opened by `file` (with DELETE access).
bool RenameOpened(HANDLE file, const std::wstring& path, IfExisting existing) {
    const std::wstring target = LongPath(path);
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = existing == IfExisting::Replace;
    rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    target.copy(rename->FileName, target.size());
    return SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(buffer.size())) != 0;
}

// Sets the attributes of the file opened by `file` (with FILE_WRITE_ATTRIBUTES), its times unchanged.
bool SetAttributesOpened(HANDLE file, DWORD attributes) {
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic) != 0;
}

// Deletes a file by name, read-only or not, through its handle: a link (of
// any kind) or a file with another name stays, and what it leads to is untouched.
void DeleteAnyway(const std::wstring& path) {
    const win::UniqueHandle file(CreateFileW(LongPath(path).c_str(), DELETE | FILE_READ_ATTRIBUTES |
                                             FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                             FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    win::HandleFacts facts;
    if (!file || !win::ReadHandleFacts(file.Get(), &facts) || facts.links != 1 ||
        (facts.attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
        !win::OpenedAt(file.Get(), path))
        return;
    FILE_DISPOSITION_INFO dispose{TRUE};
    if (SetAttributesOpened(file.Get(), facts.attributes & ~FILE_ATTRIBUTE_READONLY))
        SetFileInformationByHandle(file.Get(), FileDispositionInfo, &dispose, sizeof dispose);
}

const ExtrasStore& Extras() { return *ExtrasHook().load(); }

// Both open files have the same size, copied attributes, creation and last-write times, and bytes.
bool SameContent(HANDLE one, HANDLE other) {
    Facts a, b;
    return ReadFacts(one, &a) && ReadFacts(other, &b) && a.size.QuadPart == b.size.QuadPart &&
           (a.basic.FileAttributes & kCopiedAttributes) == (b.basic.FileAttributes & kCopiedAttributes) &&
           a.basic.CreationTime.QuadPart == b.basic.CreationTime.QuadPart &&
           a.basic.LastWriteTime.QuadPart == b.basic.LastWriteTime.QuadPart && SameBytes(one, other);
}

bool HasExtras(HANDLE file, const ItemExtras& extras) {
    ItemExtras read;
    return Extras().Read(file, &read) && read == extras;
}

// What became of a copy.
enum class Copy { Made, Failed, ExtrasLost };

// The temporary: the item's bytes, named streams and times, then its attributes
// (so that a read-only copy still gets its times and streams), then its own
// rights (last: they may deny this account what it writes with); checked
// against the item. A new file has the rights its folder gives it: they are set
// only when the item's own differ.
Copy WriteTemporary(HANDLE from, const Facts& facts, const ItemExtras& extras, const std::wstring& temporary) {
    DeleteAnyway(temporary);
    {
        win::UniqueHandle to(CreateFileW(LongPath(temporary).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        FILE_BASIC_INFO times = facts.basic;
        times.ChangeTime.QuadPart = 0;  // left to the file system
        times.FileAttributes = 0;       // unchanged for now
        if (!to || !CopyBytes(from, to.Get())) return Copy::Failed;
        // Before the times: writing a stream changes the file's last-write time.
        if (!Extras().WriteStreams(to.Get(), LongPath(temporary), extras.streams)) return Copy::ExtrasLost;
        if (!SetFileInformationByHandle(to.Get(), FileBasicInfo, &times, sizeof times)) return Copy::Failed;
    }
    if (!SetAttributes(temporary, facts.basic.FileAttributes & kCopiedAttributes)) return Copy::Failed;
    win::UniqueHandle written = OpenFileHandle(temporary, WRITE_DAC);
    if (!written || !SameContent(from, written.Get())) return Copy::Failed;
    ItemExtras now;
    if (!Extras().Read(written.Get(), &now)) return Copy::ExtrasLost;
    if (now == extras) return Copy::Made;
    if (!(now.rights == extras.rights) && !Extras().WriteRights(written.Get(), extras.rights)) return Copy::ExtrasLost;
    return HasExtras(written.Get(), extras) ? Copy::Made : Copy::ExtrasLost;
}

// A copy that failed for its rights or streams: its item stays, and its line says why.
bool ExtrasNotKept(const char** why) {
    if (why) *why = kExtrasNotKept;
    return false;
}

}  // namespace

std::wstring LongPath(const std::wstring& path) { return win::LongPath(path); }

win::UniqueHandle OpenFileHandle(const std::wstring& path, DWORD access) {
    win::UniqueHandle file(CreateFileW(LongPath(path).c_str(), GENERIC_READ | access, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN,
                                       nullptr));
    FILE_BASIC_INFO basic{};
    if (file && (!GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &basic, sizeof basic) ||
                 (basic.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))))
        file.Reset();
    return file;
}

bool Identical(HANDLE one, HANDLE other) {
    ItemExtras extras;
    // The rights and streams last: reading them costs more than the rest.
    return SameContent(one, other) && Extras().Read(one, &extras) && HasExtras(other, extras);
}

void SayRefused(const char* folder, const std::string& why) {
    if (!why.empty()) PrintLine("Startup folder items not moved, %s is refused: %s\n", folder, why.c_str());
}

CopyingFolder::~CopyingFolder() {
    if (!copying_.IsOpen()) return;
    const std::wstring path = copying_.Path();
    copying_.Close();
    RemoveDirectoryW(LongPath(path).c_str());  // when empty; a link in its place is only unnamed
}

std::wstring CopyingFolder::Open(win::IfMissing missing) {
    if (refused_ || !folder_.IsOpen()) return std::wstring();
    if (copying_.IsOpen()) return copying_.Path();
    std::string why;
    if (copying_.OpenBelow(folder_, kCopyingFolder, missing, owners_, &why)) return copying_.Path();
    refused_ = !why.empty();
    SayRefused("its copying folder", why);
    return std::wstring();
}

bool Discard(win::UniqueHandle file, const std::wstring& path, CopyingFolder& copying) {
    const std::size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos ||
        !win::SamePath(win::FinalPath(file.Get()), copying.FolderFinal() + path.substr(slash)))
        return false;
    const std::wstring folder = copying.Open(win::IfMissing::Make);
    FILE_BASIC_INFO basic{};
    if (folder.empty() || !GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &basic, sizeof basic) ||
        !RenameOpened(file.Get(), folder + L"\\discarded", IfExisting::Replace))
        return false;
    const DWORD attributes = basic.FileAttributes;
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    FILE_DISPOSITION_INFO dispose{TRUE};
    if ((!readOnly || SetAttributesOpened(file.Get(), attributes & ~FILE_ATTRIBUTE_READONLY)) &&
        SetFileInformationByHandle(file.Get(), FileDispositionInfo, &dispose, sizeof dispose))
        return true;
    // It stays: as it was, where it was.
    if (readOnly) SetAttributesOpened(file.Get(), attributes);
    RenameOpened(file.Get(), path, IfExisting::Keep);
    return false;
}

bool PlaceExactCopy(const std::wstring& from, CopyingFolder& copying, const std::wstring& name, IfExisting existing,
                    const char** why) {
    const win::UniqueHandle source = OpenFileHandle(from);
    Facts facts;
    if (!source || !ReadFacts(source.Get(), &facts)) return false;
    ItemExtras extras;
    if (!Extras().Read(source.Get(), &extras)) return ExtrasNotKept(why);
    const std::wstring folder = copying.Open(win::IfMissing::Make);
    if (folder.empty()) return false;
    // Named apart from any item (and from a discarded file): one copy is written at a time.
    const std::wstring temporary = folder + L"\\copy", target = copying.Folder() + L"\\" + name;
    const Copy copy = WriteTemporary(source.Get(), facts, extras, temporary);
    if (copy != Copy::Made) {
        DeleteAnyway(temporary);
        return copy == Copy::ExtrasLost ? ExtrasNotKept(why) : false;
    }
    // A read-only file is not replaced by a rename: an older copy is discarded first.
    if (existing == IfExisting::Replace) {
        win::UniqueHandle older = OpenFileHandle(target, DELETE | FILE_WRITE_ATTRIBUTES);
        if (older && !Discard(std::move(older), target, copying)) return false;
    }
    const bool renamed =
        MoveFileExW(LongPath(temporary).c_str(), LongPath(target).c_str(), MOVEFILE_WRITE_THROUGH) != 0;
    if (!renamed) {
        DeleteAnyway(temporary);
        return false;
    }
    const win::UniqueHandle placed = OpenFileHandle(target);
    if (!placed || !SameContent(source.Get(), placed.Get())) return false;
    return HasExtras(placed.Get(), extras) || ExtrasNotKept(why);
}

void RemoveLeftovers(CopyingFolder& copying) {
    const std::wstring folder = copying.Open(win::IfMissing::Fail);
    if (!folder.empty()) ForEachFile(folder, [&](const std::wstring& name) { DeleteAnyway(folder + L"\\" + name); });
}

void ForEachFile(const std::wstring& folder, const std::function<void(const std::wstring& name)>& use) {
    // The names first: `use` may add and remove files of the folder.
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileExW(LongPath(folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.emplace_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    for (const std::wstring& name : names) use(name);
}

}  // namespace lists
