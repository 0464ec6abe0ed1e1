#pragma once
// Real shortcuts saved by the shell's IShellLinkW, and seeded damaged copies (tests and make_shortcut).
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace test_shortcuts {

// Saves a shortcut as Explorer's "New shortcut" would (needs COM on the thread).
inline HRESULT Make(const std::wstring& path, const std::wstring& target, const std::wstring& arguments,
                    const std::wstring& folder, int show = SW_SHOWNORMAL) {
    IShellLinkW* link = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&link));
    if (FAILED(hr)) return hr;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(hr = link->SetPath(target.c_str())) && SUCCEEDED(hr = link->SetArguments(arguments.c_str())) &&
        SUCCEEDED(hr = link->SetWorkingDirectory(folder.c_str())) && SUCCEEDED(hr = link->SetShowCmd(show)) &&
        SUCCEEDED(hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        hr = file->Save(path.c_str(), TRUE);
        file->Release();
    }
    link->Release();
    return hr;
}

using Bytes = std::vector<unsigned char>;

inline void PutWord(Bytes& bytes, std::size_t at, std::uint16_t value) {
    if (at + 2 <= bytes.size()) std::memcpy(&bytes[at], &value, 2);
}
inline void PutDword(Bytes& bytes, std::size_t at, std::uint32_t value) {
    if (at + 4 <= bytes.size()) std::memcpy(&bytes[at], &value, 4);
}
inline std::uint32_t DwordAt(const Bytes& bytes, std::size_t at) {
    std::uint32_t value = 0;
    if (at + 4 <= bytes.size()) std::memcpy(&value, &bytes[at], 4);
    return value;
}

// The shortcut with an ID list whose first item claims 65,520 bytes: the shell's loader reads past it.
inline Bytes WithOverlongFirstItem(const Bytes& sound) {
    const std::size_t list = 0x4C;
    if (sound.size() < list + 2) return sound;
    const std::size_t rest = (DwordAt(sound, 0x14) & 1) ? list + 2 + (sound[list] | sound[list + 1] << 8) : list;
    Bytes damaged(sound.begin(), sound.begin() + list);
    damaged.resize(list + 2 + 20);
    PutDword(damaged, 0x14, DwordAt(sound, 0x14) | 1);
    PutWord(damaged, list, 20);
    PutWord(damaged, list + 2, 0xFFF0);
    damaged.insert(damaged.end(), sound.begin() + std::min(rest, sound.size()), sound.end());
    return damaged;
}

// The shortcut with its target also in the environment block Windows writes (the shell under Wine writes none).
inline Bytes WithEnvironmentTarget(const Bytes& sound, const std::wstring& target) {
    Bytes block(0x314);
    PutDword(block, 0, 0x314);
    PutDword(block, 4, 0xA0000001);
    for (std::size_t i = 0; i < target.size() && i < MAX_PATH - 1; ++i) {
        block[8 + i] = static_cast<unsigned char>(target[i] < 0x80 ? target[i] : '?');
        PutWord(block, 8 + MAX_PATH + 2 * i, static_cast<std::uint16_t>(target[i]));
    }
    Bytes with(sound.begin(), sound.end() - 4);  // up to its terminal block
    PutDword(with, 0x14, DwordAt(with, 0x14) | 0x200);
    with.insert(with.end(), block.begin(), block.end());
    with.insert(with.end(), 4, 0);
    return with;
}

// The shortcut with a LinkInfo holding UTF-16 `path` and ANSI "?", as Windows writes for an unmappable path.
inline Bytes WithUnicodeLinkInfo(const Bytes& sound, const std::wstring& path) {
    const std::size_t at = 0x4C + ((DwordAt(sound, 0x14) & 1) ? 2 + (sound[0x4C] | sound[0x4D] << 8) : 0);
    Bytes info(0x24);
    const unsigned char volume[0x11] = {0x11, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0, 0, 0};
    info.insert(info.end(), volume, volume + sizeof volume);
    const std::size_t ansi = info.size();
    info.insert(info.end(), {'?', 0, 0});  // the base path, then an empty suffix
    const std::size_t wide = info.size();
    for (wchar_t unit : path + L'\0' + L'\0') info.insert(info.end(), {static_cast<unsigned char>(unit & 0xFF),
                                                                       static_cast<unsigned char>(unit >> 8)});
    const std::uint32_t fields[] = {static_cast<std::uint32_t>(info.size()), 0x24, 1, 0x24,
                                    static_cast<std::uint32_t>(ansi), 0, static_cast<std::uint32_t>(ansi + 2),
                                    static_cast<std::uint32_t>(wide), static_cast<std::uint32_t>(info.size() - 2)};
    for (std::size_t i = 0; i < 9; ++i) PutDword(info, 4 * i, fields[i]);
    Bytes with(sound.begin(), sound.begin() + at);
    PutDword(with, 0x14, DwordAt(with, 0x14) | 2);
    with.insert(with.end(), info.begin(), info.end());
    const std::size_t rest = (DwordAt(sound, 0x14) & 2) ? at + DwordAt(sound, at) : at;
    with.insert(with.end(), sound.begin() + rest, sound.end());
    return with;
}

// Where the sound shortcut keeps its 2- and 4-byte sizes and offsets.
struct SizeFields {
    std::vector<std::size_t> words, dwords;
};
inline SizeFields SizeFieldsOf(const Bytes& sound) {
    SizeFields fields;
    const std::uint32_t flags = DwordAt(sound, 0x14);
    std::size_t at = 0x4C;
    if (flags & 1) {
        fields.words.push_back(at);
        const std::size_t end = at + 2 + (sound[at] | sound[at + 1] << 8);
        for (at += 2; at + 2 <= end && (sound[at] | sound[at + 1] << 8); at += sound[at] | sound[at + 1] << 8)
            fields.words.push_back(at);
        at = end;
    }
    if (flags & 2) {
        for (std::size_t field = 0; field < 0x24; field += 4) fields.dwords.push_back(at + field);
        at += DwordAt(sound, at);
    }
    for (std::uint32_t bit = 4; bit <= 0x40; bit <<= 1) {
        if (!(flags & bit) || at + 2 > sound.size()) continue;
        fields.words.push_back(at);
        at += 2 + (sound[at] | sound[at + 1] << 8) * ((flags & 0x80) ? 2 : 1);
    }
    for (; at + 4 <= sound.size() && DwordAt(sound, at) >= 4; at += DwordAt(sound, at)) fields.dwords.push_back(at);
    return fields;
}

// A seeded damaged copy: cut short, bytes flipped, a size at an edge value or the overlong item, mixed.
inline Bytes Damaged(const Bytes& sound, unsigned seed) {
    std::mt19937 random(seed);
    const SizeFields fields = SizeFieldsOf(sound);
    auto pick = [&](std::size_t count) { return std::uniform_int_distribution<std::size_t>(0, count - 1)(random); };
    const std::uint32_t edges[] = {0, 1, 2, 3, 4, 0x1C, 0x24, 0x7F, 0xFF, 0x7FFF, 0x8000, 0xFFF0, 0xFFFE, 0xFFFF,
                                   0x10000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF,
                                   static_cast<std::uint32_t>(sound.size()),
                                   static_cast<std::uint32_t>(sound.size() + 1)};
    Bytes damaged = sound;
    for (std::size_t change = 0, changes = 1 + pick(3); change < changes; ++change) {
        switch (pick(5)) {
        case 0: damaged.resize(pick(damaged.size() + 1)); break;
        case 1:
            for (std::size_t flip = 0, flips = 1 + pick(8); flip < flips && !damaged.empty(); ++flip)
                damaged[pick(damaged.size())] ^= static_cast<unsigned char>(1 + pick(255));
            break;
        case 2:
            if (!fields.words.empty()) PutWord(damaged, fields.words[pick(fields.words.size())],
                                               static_cast<std::uint16_t>(edges[pick(16)]));
            break;
        case 3:
            if (!fields.dwords.empty()) PutDword(damaged, fields.dwords[pick(fields.dwords.size())],
                                                 edges[pick(sizeof edges / sizeof edges[0])]);
            break;
        default: damaged = WithOverlongFirstItem(damaged); break;
        }
    }
    return damaged;
}

}  // namespace test_shortcuts
