#include "sources/VersionBlock.h"

#include <cstring>

namespace version_block {
namespace {

constexpr WORD kTextType = 1;
constexpr std::size_t kHeaderBytes = 3 * sizeof(WORD);

// The block's bytes; every position is an offset checked against its size.
struct Block {
    const BYTE* data;
    std::size_t size;

    WORD WordAt(std::size_t at) const {
        WORD word = 0;
        std::memcpy(&word, data + at, sizeof word);
        return word;
    }
};

// A node's key and value, and the range its children fill: offsets in the block.
struct Node {
    std::wstring key;
    std::size_t value = 0;
    std::size_t valueBytes = 0;
    std::size_t children = 0;
    std::size_t end = 0;
};

// Nodes and values start on 4-byte boundaries from the block's start; never past `end`.
std::size_t Aligned(std::size_t at, std::size_t end) {
    const std::size_t aligned = (at + 3) & ~std::size_t{3};
    return aligned < end ? aligned : end;
}

// The node at `at`, which must end by `limit` (its parent's end).
std::optional<Node> NodeAt(const Block& block, std::size_t at, std::size_t limit) {
    if (limit - at < kHeaderBytes) return std::nullopt;
    const std::size_t length = block.WordAt(at);
    const std::size_t valueLength = block.WordAt(at + 2);
    const WORD type = block.WordAt(at + 4);
    if (length < kHeaderBytes || length > limit - at || type > kTextType) return std::nullopt;
    Node node;
    node.end = at + length;
    std::size_t next = at + kHeaderBytes;
    for (;; next += sizeof(WORD)) {
        if (node.end - next < sizeof(WORD)) return std::nullopt;  // no NUL within the node
        const WORD unit = block.WordAt(next);
        if (unit == 0) break;
        node.key.push_back(static_cast<wchar_t>(unit));
    }
    node.value = Aligned(next + sizeof(WORD), node.end);
    // A text's length counts UTF-16 units, and some compilers count it wrongly:
    // it is cut at the node's end. A binary value must fit its node.
    node.valueBytes = type == kTextType ? valueLength * sizeof(WORD) : valueLength;
    if (node.valueBytes > node.end - node.value) {
        if (type != kTextType) return std::nullopt;
        node.valueBytes = node.end - node.value;
    }
    node.children = Aligned(node.value + node.valueBytes, node.end);
    return node;
}

// Calls visit with each child of the node; false when one does not fit or visit says so.
template <typename Visit>
bool ForEachChild(const Block& block, const Node& parent, Visit visit) {
    for (std::size_t at = parent.children; at < parent.end;) {
        const std::optional<Node> child = NodeAt(block, at, parent.end);
        if (!child || !visit(*child)) return false;
        at = Aligned(child->end, parent.end);
    }
    return true;
}

std::wstring TextOf(const Block& block, const Node& node) {
    std::wstring text;
    for (std::size_t at = node.value; at + sizeof(WORD) <= node.value + node.valueBytes; at += sizeof(WORD)) {
        const WORD unit = block.WordAt(at);
        if (unit == 0) break;
        text.push_back(static_cast<wchar_t>(unit));
    }
    return text;
}

bool ReadStrings(const Block& block, const Node& stringFileInfo, Contents* contents) {
    return ForEachChild(block, stringFileInfo, [&](const Node& table) {
        return ForEachChild(block, table, [&](const Node& text) {
            contents->texts.push_back(Text{table.key, text.key, TextOf(block, text)});
            return true;
        });
    });
}

bool ReadTranslations(const Block& block, const Node& varFileInfo, Contents* contents) {
    return ForEachChild(block, varFileInfo, [&](const Node& var) {
        if (SameKey(var.key, L"Translation") && contents->translations.empty())
            contents->translations.assign(block.data + var.value, block.data + var.value + var.valueBytes);
        return true;
    });
}

}  // namespace

bool SameKey(const std::wstring& one, const std::wstring& other) {
    return CompareStringOrdinal(one.c_str(), static_cast<int>(one.size()), other.c_str(),
                                static_cast<int>(other.size()), TRUE) == CSTR_EQUAL;
}

std::optional<Contents> Parse(const void* data, std::size_t size) {
    const Block block{static_cast<const BYTE*>(data), size};
    const std::optional<Node> root = NodeAt(block, 0, size);
    if (!root || !SameKey(root->key, L"VS_VERSION_INFO")) return std::nullopt;
    Contents contents;
    const bool read = ForEachChild(block, *root, [&](const Node& child) {
        if (SameKey(child.key, L"StringFileInfo")) return ReadStrings(block, child, &contents);
        if (SameKey(child.key, L"VarFileInfo")) return ReadTranslations(block, child, &contents);
        return true;
    });
    if (!read) return std::nullopt;
    return contents;
}

}  // namespace version_block
