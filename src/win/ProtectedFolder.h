#pragma once
// A chain of folders below a trusted root (%ProgramData%, %APPDATA%) that any
// user may have made first: each is made (with a protected DACL, or with the
// rights it inherits), or checked on the handle it was opened by. A reparse
// point, a folder owned by an untrusted account, or a chain that leads anywhere
// but below its root by its own names (a link on the way, of any kind) is
// refused. The folders stay open without FILE_SHARE_DELETE, so that none can be
// renamed or replaced while files are written through them.
#include <windows.h>

#include <atomic>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "win/Scoped.h"

namespace win {

// What is checked of a folder or a file, read from its open handle.
struct HandleFacts {
    DWORD attributes = 0;
    DWORD links = 0;
    bool trustedOwner = false;  // SYSTEM, the administrators or the account this process runs as
    bool adminOwner = false;    // SYSTEM, the administrators (or TrustedInstaller)
    std::wstring owner;         // the owner's SID ("S-1-5-..."), empty when it cannot be read
};
bool ReadHandleFacts(HANDLE handle, HandleFacts* facts);

// The reader used: ReadHandleFacts, or a test's, which can show what Wine
// cannot make (a folder owned by another account, a reparse point).
using HandleFactsReader = bool (*)(HANDLE handle, const std::wstring& path, HandleFacts* facts);
std::atomic<HandleFactsReader>& HandleFactsHook();

// Whose folders and files are trusted: those of SYSTEM and the administrators,
// and with OwnAccountToo those of this process's account (the keeper's, which is
// SYSTEM; under Wine every file belongs to the one user), with AccountToo those
// of this process's account and of the account named (another account's
// folders, which the system works in for the package's removal).
class Owners {
public:
    static const Owners AdminsOnly;
    static const Owners OwnAccountToo;
    static Owners AccountToo(std::wstring sid) { return Owners(Whose::Account, std::move(sid)); }
    bool Trust(const HandleFacts& facts) const;

private:
    enum class Whose { Admins, OwnAccount, Account };
    Owners(Whose whose, std::wstring sid) : whose_(whose), sid_(std::move(sid)) {}
    Whose whose_;
    std::wstring sid_;
};
inline const Owners Owners::AdminsOnly{Owners::Whose::Admins, std::wstring()};
inline const Owners Owners::OwnAccountToo{Owners::Whose::OwnAccount, std::wstring()};

// What a handle is expected to be open on.
enum class HandleKind { File, Folder };

// What opening a folder does when it is missing: fail (with no refusal said), or make it.
enum class IfMissing { Fail, Make };

// A folder that is a folder, or a file with no other name; neither a reparse
// point, both owned by a trusted account.
bool Acceptable(HANDLE handle, const std::wstring& path, HandleKind kind, const Owners& owners);

// True when `descriptor` holds exactly `dacl`, protected from inheritance: a
// folder whose rights need not be set again.
bool IsProtectedDacl(PSECURITY_DESCRIPTOR descriptor, const ACL* dacl);

// A full path in its \\?\ form, for paths that may pass MAX_PATH.
std::wstring LongPath(const std::wstring& path);

// Where an open folder or file is, its links resolved, as a full path in the
// \\?\ form, which can open it again; empty when it cannot be had (Wine gives
// none longer than MAX_PATH).
std::wstring OpenablePath(HANDLE handle);

// The same without its \\?\ prefix, for comparisons; past MAX_PATH under Wine,
// the path within its volume. Empty when Windows cannot say.
std::wstring FinalPath(HANDLE handle);

// The folder names that lead from `root` down to `path`, when `path` lies below
// `root` by its names; none when it does not, or when a name is empty, "." or
// "..", or holds a '/' or a ':' (another separator, a stream).
std::vector<std::wstring> NamesBelow(const std::wstring& path, const std::wstring& root);

// True when two full paths name the same place, letter case and the \\?\ forms aside.
bool SamePath(const std::wstring& one, const std::wstring& other);

// True when the open file is `path` itself: its final path is that of the
// folder it is named in (opened as named) and its name. A link to a file
// elsewhere, which Wine opens as its target whatever the flags, is not.
bool OpenedAt(HANDLE file, const std::wstring& path);

class ProtectedFolder {
public:
    // Makes or checks each of `names`, one below the other, below `root`, and
    // holds them open; the last one gets the protected DACL `security` (SDDL),
    // which any it makes is made with. Without `security` the folders are only
    // checked and opened for reading (by an account that may not change them).
    // False, with the reason in `why`, when a folder is refused or cannot be made.
    bool Open(const std::wstring& root, const std::vector<std::wstring>& names, const wchar_t* security,
              const Owners& owners, std::string* why);
    // The same below a root whose final path (RootFinal) is known: any folder
    // made (IfMissing::Make) with the DACL `security` or, without, with the rights it
    // inherits; or only checked.
    bool Open(const std::wstring& root, const std::wstring& rootFinal, const std::vector<std::wstring>& names,
              IfMissing missing, const wchar_t* security, const Owners& owners, std::string* why);
    // Where a trusted root is, its links followed; empty when it cannot be opened.
    static std::wstring RootFinal(const std::wstring& root);
    // One folder, `name`, directly in the open folder `parent`, made (with
    // inherited rights) with IfMissing::Make. A missing one is refused with `why` empty.
    bool OpenBelow(const ProtectedFolder& parent, const std::wstring& name, IfMissing missing,
                   const Owners& owners, std::string* why);
    void Close() { folders_.clear(); }
    bool IsOpen() const { return !folders_.empty(); }
    const std::wstring& Path() const { return path_; }
    // Where the last folder is, checked: below the root's final path by the names.
    const std::wstring& Final() const { return final_; }

private:
    std::wstring path_;
    std::wstring final_;
    std::vector<UniqueHandle> folders_;
};

}  // namespace win
