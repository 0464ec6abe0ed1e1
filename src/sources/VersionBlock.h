#pragma once
#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// A version resource (VS_VERSIONINFO) read within its bounds, whoever made the
// file: each node's length is checked against its parent's end, each value's
// against its node, and a text ends at its NUL, its length or its node, the
// first of them. Every node is wLength, wValueLength, wType, a NUL-terminated
// UTF-16 key, padding to 4 bytes, the value, padding, its children.
namespace version_block {

// One text of a string table, under the table's key ("040904B0").
struct Text {
    std::wstring table;
    std::wstring key;
    std::wstring text;
};

// What the reader takes from a block.
struct Contents {
    std::vector<BYTE> translations;  // the first Translation value, 4 bytes a translation
    std::vector<Text> texts;         // of every string table, in the block's order
};

// The contents of the `size` bytes at `block`; none when a length, a type or a
// key does not fit where it stands.
std::optional<Contents> Parse(const void* block, std::size_t size);

// Keys compare as the system compares them: in any letter case.
bool SameKey(const std::wstring& one, const std::wstring& other);

}  // namespace version_block
