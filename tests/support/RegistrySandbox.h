#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "registry/RegValueBlob.h"
#include "win/Scoped.h"

// Redirects HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE of this process into a
// fresh scratch key under the real current user's key, so that no test touches
// a real Run key; the scratch key is deleted when the sandbox ends.
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

    RegistrySandbox() : RegistrySandbox(Keys{}) {}
    explicit RegistrySandbox(Keys keys);
    ~RegistrySandbox();
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

    // The scratch key, under the real current user's key (for other processes).
    const std::string& Root() const { return root_; }

    // Helpers on the sandboxed keys (hive is HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE).
    static bool Exists(HKEY hive, const char* path);
    static void Create(HKEY hive, const char* path);
    static void Remove(HKEY hive, const char* path);
    static void Put(HKEY hive, const char* path, const char* name, const RegValueBlob& value);
    static void PutText(HKEY hive, const char* path, const char* name, const std::string& text,
                        DWORD type = REG_SZ);
    static std::optional<RegValueBlob> Get(HKEY hive, const char* path, const char* name);
    static std::vector<std::string> ValueNames(HKEY hive, const char* path);

    static RegValueBlob Text(const std::string& text, DWORD type = REG_SZ);
    static RegValueBlob Dword(DWORD value);

private:
    std::string root_;
    win::UniqueKey userRoot_;
    win::UniqueKey machineRoot_;
};
