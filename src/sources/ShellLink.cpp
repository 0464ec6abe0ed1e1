#include "sources/ShellLink.h"

#include <cstring>
#include <vector>

#include "win/Scoped.h"

namespace shell_link {
namespace {

constexpr std::size_t kHeaderBytes = 0x4C;
// {00021401-0000-0000-C000-000000000046}, as the header stores it.
constexpr BYTE kLinkClass[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// The header's flags: which parts follow it.
constexpr DWORD kHasIdList = 0x1, kHasLinkInfo = 0x2, kHasName = 0x4, kHasRelativePath = 0x8,
                kHasWorkingFolder = 0x10, kHasArguments = 0x20, kHasIconLocation = 0x40, kIsUnicode = 0x80,
                kHasExpandableTarget = 0x200;
// LinkInfo's flags, and the header sizes with and without its UTF-16 offsets.
constexpr DWORD kLocalPath = 0x1, kNetworkPath = 0x2;
constexpr DWORD kLinkInfoHeaderBytes = 0x1C, kUnicodeLinkInfoHeaderBytes = 0x24;
constexpr DWORD kNetworkLinkBytes = 0x14, kUnicodeNetworkLinkBytes = 0x1C;
// The extra-data block of a target with environment references: its ANSI and
// UTF-16 copies, each a NUL-terminated text in a field of MAX_PATH characters.
constexpr DWORD kEnvironmentBlock = 0xA0000001, kEnvironmentBlockBytes = 0x314;

// A range of the file's bytes: every read is checked against its end first.
struct Bytes {
    const BYTE* data;
    std::size_t size;

    bool Has(std::size_t at, std::size_t count) const { return at <= size && count <= size - at; }
    WORD Word(std::size_t at) const {
        WORD value = 0;
        std::memcpy(&value, data + at, sizeof value);
        return value;
    }
    DWORD Dword(std::size_t at) const {
        DWORD value = 0;
        std::memcpy(&value, data + at, sizeof value);
        return value;
    }
    Bytes Part(std::size_t at, std::size_t count) const { return {data + at, count}; }
};

// ANSI texts are in the system's code page.
std::optional<std::wstring> FromAnsi(const BYTE* text, std::size_t count) {
    if (count == 0) return std::wstring();
    const int length = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(text),
                                           static_cast<int>(count), nullptr, 0);
    if (length <= 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(text), static_cast<int>(count),
                        &wide[0], length);
    return wide;
}

std::wstring FromUtf16(const BYTE* text, std::size_t units) {
    std::wstring wide(units, L'\0');
    std::memcpy(&wide[0], text, units * sizeof(wchar_t));
    return wide;
}

enum class Encoding { Ansi, Utf16 };

// A NUL-terminated text at `at` that ends within `bytes`; UTF-16 or ANSI.
std::optional<std::wstring> TextAt(Bytes bytes, std::size_t at, Encoding encoding) {
    const bool unicode = encoding == Encoding::Utf16;
    const std::size_t unit = unicode ? sizeof(wchar_t) : 1;
    for (std::size_t end = at; bytes.Has(end, unit); end += unit) {
        if ((unicode ? bytes.Word(end) : bytes.data[end]) != 0) continue;
        if (unicode) return FromUtf16(bytes.data + at, (end - at) / unit);
        return FromAnsi(bytes.data + at, end - at);
    }
    return std::nullopt;
}

// An offset field of LinkInfo names a text inside it, past its header.
std::optional<std::wstring> TextNamedAt(Bytes info, std::size_t field, std::size_t header, Encoding encoding) {
    const DWORD at = info.Dword(field);
    if (at < header) return std::nullopt;
    return TextAt(info, at, encoding);
}

// A part of LinkInfo's path: its UTF-16 copy when the header has a field for
// one and the field is set, else its ANSI copy.
std::optional<std::wstring> PathPart(Bytes info, std::size_t header, std::size_t ansiField, std::size_t wideField) {
    if (header >= kUnicodeLinkInfoHeaderBytes && info.Dword(wideField) != 0)
        return TextNamedAt(info, wideField, header, Encoding::Utf16);
    return TextNamedAt(info, ansiField, header, Encoding::Ansi);
}

// The ID list is walked only to step over it: each item's size must fit what
// is left of the list, and the list must end with its zero terminator.
bool IdListFits(Bytes list) {
    for (std::size_t at = 0; list.Has(at, sizeof(WORD));) {
        const WORD item = list.Word(at);
        if (item == 0) return at + sizeof(WORD) == list.size;
        if (item < sizeof(WORD) || !list.Has(at, item)) return false;
        at += item;
    }
    return false;
}

// The target's path as LinkInfo gives it: a local base path, or a share's
// name, followed by the common suffix. Empty: no path in it.
std::optional<std::wstring> LinkInfoPath(Bytes info) {
    if (!info.Has(0, kLinkInfoHeaderBytes)) return std::nullopt;
    const DWORD header = info.Dword(4), flags = info.Dword(8);
    if (header < kLinkInfoHeaderBytes || header > info.size ||
        (header != kLinkInfoHeaderBytes && header < kUnicodeLinkInfoHeaderBytes))
        return std::nullopt;
    const auto suffix = PathPart(info, header, 0x18, 0x20);
    if (!suffix) return std::nullopt;
    if (flags & kLocalPath) {
        const auto base = PathPart(info, header, 0x10, 0x1C);
        if (!base) return std::nullopt;
        return *base + *suffix;
    }
    if (!(flags & kNetworkPath)) return std::wstring();
    const DWORD at = info.Dword(0x14);
    if (at < header || !info.Has(at, kNetworkLinkBytes)) return std::nullopt;
    const DWORD size = info.Dword(at);
    if (size < kNetworkLinkBytes || !info.Has(at, size)) return std::nullopt;
    const Bytes link = info.Part(at, size);
    const DWORD name = link.Dword(8);
    const bool wideName = name > kNetworkLinkBytes;
    if (wideName && size < kUnicodeNetworkLinkBytes) return std::nullopt;
    const auto share = wideName ? TextNamedAt(link, 0x14, kUnicodeNetworkLinkBytes, Encoding::Utf16)
                                : TextNamedAt(link, 0x08, kNetworkLinkBytes, Encoding::Ansi);
    if (!share || share->empty()) return std::nullopt;
    return suffix->empty() ? *share : *share + L"\\" + *suffix;
}

// The target with environment references, from its extra-data block.
std::optional<std::wstring> EnvironmentTarget(Bytes block) {
    if (block.size != kEnvironmentBlockBytes) return std::nullopt;
    const Bytes ansi = block.Part(8, MAX_PATH), wide = block.Part(8 + MAX_PATH, MAX_PATH * sizeof(wchar_t));
    auto target = TextAt(wide, 0, Encoding::Utf16);
    if (!target || target->empty()) target = TextAt(ansi, 0, Encoding::Ansi);
    return target;
}

std::wstring Expanded(const std::wstring& text) {
    if (text.find(L'%') == std::wstring::npos) return text;
    std::vector<wchar_t> expanded(MAX_PATH);
    for (;;) {
        const DWORD needed =
            ExpandEnvironmentStringsW(text.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
        if (needed == 0) return text;
        if (needed <= expanded.size()) return expanded.data();
        expanded.resize(needed);
    }
}

}  // namespace

std::optional<Shortcut> Parse(const void* data, std::size_t size) {
    const Bytes file{static_cast<const BYTE*>(data), size};
    if (!file.Has(0, kHeaderBytes) || file.Dword(0) != kHeaderBytes ||
        std::memcmp(file.data + 4, kLinkClass, sizeof kLinkClass) != 0)
        return std::nullopt;
    const DWORD flags = file.Dword(0x14);
    const DWORD show = file.Dword(0x3C);
    Shortcut shortcut;
    // Any other value stands for a normal window.
    if (show == SW_SHOWMAXIMIZED || show == SW_SHOWMINNOACTIVE) shortcut.show = static_cast<int>(show);
    std::size_t at = kHeaderBytes;
    if (flags & kHasIdList) {
        if (!file.Has(at, sizeof(WORD))) return std::nullopt;
        const WORD listSize = file.Word(at);
        at += sizeof(WORD);
        if (!file.Has(at, listSize) || !IdListFits(file.Part(at, listSize))) return std::nullopt;
        at += listSize;
    }
    std::wstring target;
    if (flags & kHasLinkInfo) {
        if (!file.Has(at, sizeof(DWORD))) return std::nullopt;
        const DWORD infoSize = file.Dword(at);
        if (!file.Has(at, infoSize)) return std::nullopt;
        const auto path = LinkInfoPath(file.Part(at, infoSize));
        if (!path) return std::nullopt;
        target = *path;
        at += infoSize;
    }
    // The counted texts, in this order, each there when its flag is set.
    const bool unicode = (flags & kIsUnicode) != 0;
    std::wstring* const texts[] = {nullptr, nullptr, &shortcut.folder, &shortcut.arguments, nullptr};
    const DWORD textFlags[] = {kHasName, kHasRelativePath, kHasWorkingFolder, kHasArguments, kHasIconLocation};
    for (std::size_t i = 0; i < sizeof textFlags / sizeof textFlags[0]; ++i) {
        if (!(flags & textFlags[i])) continue;
        if (!file.Has(at, sizeof(WORD))) return std::nullopt;
        const std::size_t count = file.Word(at), bytes = count * (unicode ? sizeof(wchar_t) : 1);
        at += sizeof(WORD);
        if (!file.Has(at, bytes)) return std::nullopt;
        const auto text = unicode ? std::optional<std::wstring>(FromUtf16(file.data + at, count))
                                  : FromAnsi(file.data + at, count);
        if (!text) return std::nullopt;
        // Some writers count a closing NUL too; the text ends at its first NUL,
        // wherever it is passed on.
        if (texts[i]) *texts[i] = text->substr(0, text->find(L'\0'));
        at += bytes;
    }
    // Extra-data blocks up to the terminal one (a size below 4), or the file's end.
    while (file.Has(at, sizeof(DWORD))) {
        const DWORD blockSize = file.Dword(at);
        if (blockSize < sizeof(DWORD)) break;
        if (blockSize < 2 * sizeof(DWORD) || !file.Has(at, blockSize)) return std::nullopt;
        if (file.Dword(at + 4) == kEnvironmentBlock && (flags & kHasExpandableTarget)) {
            const auto expandable = EnvironmentTarget(file.Part(at, blockSize));
            if (!expandable) return std::nullopt;
            if (!expandable->empty()) target = *expandable;
        }
        at += blockSize;
    }
    if (target.empty()) return std::nullopt;
    shortcut.target = Expanded(target);
    shortcut.folder = Expanded(shortcut.folder);
    return shortcut;
}

std::optional<Shortcut> Read(const std::wstring& path) {
    // Others may read or rename it meanwhile, never write it.
    const bool drive = path.size() > 2 && path[1] == L':';
    const win::UniqueHandle file(CreateFileW((drive ? L"\\\\?\\" + path : path).c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                             FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    FILE_BASIC_INFO basic{};
    LARGE_INTEGER size{};
    if (!file || !GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &basic, sizeof basic) ||
        (basic.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
        !GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0 ||
        static_cast<ULONGLONG>(size.QuadPart) > kMostBytes)
        return std::nullopt;
    std::vector<BYTE> bytes(static_cast<std::size_t>(size.QuadPart));
    std::size_t read = 0;
    while (read < bytes.size()) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), bytes.data() + read, static_cast<DWORD>(bytes.size() - read), &got, nullptr) ||
            got == 0)
            return std::nullopt;
        read += got;
    }
    return Parse(bytes.data(), bytes.size());
}

bool IsShortcut(const std::wstring& path) {
    constexpr int kLength = 4;
    return path.size() > kLength &&
           CompareStringOrdinal(path.c_str() + path.size() - kLength, kLength, L".lnk", kLength, TRUE) == CSTR_EQUAL;
}

}  // namespace shell_link
