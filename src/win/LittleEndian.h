#pragma once
#include <windows.h>

#include <cstddef>
#include <type_traits>

// Numbers as the registry's values and the keeper's pipe keep them: the least
// significant byte first, whatever the machine that reads them, so that bytes
// are never copied in or out as a number in memory would lie.
namespace win {

template <typename Number>
void PutLittleEndian(Number number, BYTE* bytes) {
    static_assert(std::is_unsigned<Number>::value, "an unsigned number");
    for (std::size_t i = 0; i < sizeof(Number); ++i) bytes[i] = static_cast<BYTE>(number >> (8 * i));
}

template <typename Number>
Number GetLittleEndian(const BYTE* bytes) {
    static_assert(std::is_unsigned<Number>::value, "an unsigned number");
    Number number = 0;
    for (std::size_t i = sizeof(Number); i-- > 0;) number = static_cast<Number>(number << 8 | bytes[i]);
    return number;
}

}  // namespace win
