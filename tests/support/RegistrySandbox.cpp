#include "RegistrySandbox.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "registry/RegistryKeys.h"

namespace {

win::UniqueKey CreateKey(HKEY parent, const std::string& path) {
    win::UniqueKey key;
    const LONG status = RegCreateKeyExA(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                        key.Put(), nullptr);
    if (status != ERROR_SUCCESS) ADD_FAILURE() << "cannot create key " << path << ": " << status;
    return key;
}

win::UniqueKey OpenKey(HKEY hive, const RegistrySandbox::KeyText& path) {
    win::UniqueKey key;
    RegOpenKeyExA(hive, path, 0, KEY_ALL_ACCESS, key.Put());
    return key;
}

}  // namespace

RegistrySandbox::KeyText::KeyText(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    text_.resize(size > 0 ? size : 1);
    WideCharToMultiByte(CP_ACP, 0, text, -1, &text_[0], size, nullptr, nullptr);
    text_.resize(text_.size() - 1);
}

RegistrySandbox::RegistrySandbox(Keys keys) {
    char root[128];
    std::snprintf(root, sizeof root, "Software\\PacewickTests\\%lu-%lu",
                  static_cast<unsigned long>(GetCurrentProcessId()), static_cast<unsigned long>(GetTickCount()));
    root_ = root;
    userRoot_ = CreateKey(HKEY_CURRENT_USER, root_ + "\\HKCU");
    machineRoot_ = CreateKey(HKEY_CURRENT_USER, root_ + "\\HKLM");
    if (!userRoot_ || !machineRoot_) std::abort();  // never run on the real keys
    if (RegOverridePredefKey(HKEY_CURRENT_USER, userRoot_.Get()) != ERROR_SUCCESS ||
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, machineRoot_.Get()) != ERROR_SUCCESS)
        std::abort();

    if (keys.config) Create(HKEY_CURRENT_USER, keys::kConfig);
    if (keys.userBackUp) Create(HKEY_CURRENT_USER, keys::kBackUp);
    if (keys.machineBackUp) Create(HKEY_LOCAL_MACHINE, keys::kBackUp);
    if (keys.userRun) Create(HKEY_CURRENT_USER, keys::kRun);
    if (keys.machineRun) Create(HKEY_LOCAL_MACHINE, keys::kRun);
    if (keys.machineRun32) Create(HKEY_LOCAL_MACHINE, keys::kRun32);
    if (keys.machineBackUp32) Create(HKEY_LOCAL_MACHINE, keys::kBackUp32);
}

RegistrySandbox::~RegistrySandbox() {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    userRoot_.Reset();
    machineRoot_.Reset();
    RegDeleteTreeA(HKEY_CURRENT_USER, root_.c_str());
}

bool RegistrySandbox::Exists(HKEY hive, const KeyText& path) { return static_cast<bool>(OpenKey(hive, path)); }

void RegistrySandbox::Create(HKEY hive, const KeyText& path) { CreateKey(hive, static_cast<const char*>(path)); }

void RegistrySandbox::Remove(HKEY hive, const KeyText& path) {
    RegDeleteTreeA(hive, path);
    RegDeleteKeyA(hive, path);
}

void RegistrySandbox::Put(HKEY hive, const KeyText& path, const KeyText& name, const RegValueBlob& value) {
    win::UniqueKey key = OpenKey(hive, path);
    ASSERT_TRUE(key) << "no key " << path;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.Get(), name, 0, value.type, value.data(), value.count()));
}

void RegistrySandbox::PutText(HKEY hive, const KeyText& path, const KeyText& name, const std::string& text, DWORD type) {
    Put(hive, path, name, Text(text, type));
}

std::optional<RegValueBlob> RegistrySandbox::Get(HKEY hive, const KeyText& path, const KeyText& name) {
    win::UniqueKey key = OpenKey(hive, path);
    RegValueBlob value;
    DWORD size = 0;  // the narrow call's first answer may be larger than what it reads
    if (!key || RegQueryValueExA(key.Get(), name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return {};
    value.bytes.resize(size);
    if (RegQueryValueExA(key.Get(), name, nullptr, &value.type, value.bytes.data(), &size) != ERROR_SUCCESS) return {};
    value.bytes.resize(size);
    return value;
}

std::vector<std::string> RegistrySandbox::ValueNames(HKEY hive, const KeyText& path) {
    std::vector<std::string> names;
    win::UniqueKey key = OpenKey(hive, path);
    if (!key) return names;
    for (DWORD index = 0;; ++index) {
        char name[16384];
        DWORD length = sizeof name;
        if (RegEnumValueA(key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    return names;
}

RegValueBlob RegistrySandbox::Text(const std::string& text, DWORD type) {
    return RegValueBlob(type, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

RegValueBlob RegistrySandbox::Dword(DWORD value) { return RegValueBlob(REG_DWORD, &value, sizeof value); }
