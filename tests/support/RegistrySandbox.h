#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "registry/RegValueBlob.h"
#include "win/Scoped.h"

// Redirects both hives of this process into a scratch key under the real user's key, deleted at the end.
class RegistrySandbox {
public:
    struct Keys {  // the keys made inside, as the installer and Windows would
        bool config = true;
        bool userBackUp = true;
        bool machineBackUp = true;
        bool userRun = true;
        bool machineRun = true;
        bool machineRun32 = true;     // the 32-bit view's Run key
        bool machineBackUp32 = true;  // and its BackUp key
    };

    // A key path or value name, the program's (UTF-16) or a test's, in the code page the helpers pass on.
    class KeyText {
    public:
        KeyText(const char* text) : text_(text) {}
        KeyText(const wchar_t* text);
        operator const char*() const { return text_.c_str(); }
        const std::string& Str() const { return text_; }

    private:
        std::string text_;
    };

    RegistrySandbox() : RegistrySandbox(Keys{}) {}
    explicit RegistrySandbox(Keys keys);
    ~RegistrySandbox();
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

    // The scratch key, under the real current user's key (for other processes).
    const std::string& Root() const { return root_; }

    // Helpers on the sandboxed keys (hive is HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE).
    static bool Exists(HKEY hive, const KeyText& path);
    static void Create(HKEY hive, const KeyText& path);
    static void Remove(HKEY hive, const KeyText& path);
    static void Put(HKEY hive, const KeyText& path, const KeyText& name, const RegValueBlob& value);
    static void PutText(HKEY hive, const KeyText& path, const KeyText& name, const std::string& text,
                        DWORD type = REG_SZ);
    static std::optional<RegValueBlob> Get(HKEY hive, const KeyText& path, const KeyText& name);
    static std::vector<std::string> ValueNames(HKEY hive, const KeyText& path);

    static RegValueBlob Text(const std::string& text, DWORD type = REG_SZ);
    static RegValueBlob Dword(DWORD value);

private:
    std::string root_;
    win::UniqueKey userRoot_;
    win::UniqueKey machineRoot_;
};
