#include "engine/StartupEntry.h"

#include <cstring>

bool SetField(char (&field)[StartupEntry::kFieldSize], const char* text) {
    const std::size_t length = text ? std::strlen(text) : 0;
    const bool fits = length < StartupEntry::kFieldSize;
    const std::size_t copied = fits ? length : StartupEntry::kFieldSize - 1;
    if (copied) std::memcpy(field, text, copied);
    field[copied] = '\0';
    return fits;
}
