// Test-side base64url encoder (no padding), for building JWT payloads.
#pragma once

#include <string>
#include <string_view>

namespace epochsift::test_support {

inline std::string base64url(std::string_view bytes) {
    static constexpr char ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string out;
    unsigned bits = 0;
    int pending = 0;
    for (unsigned char const c : bytes) {
        bits = (bits << 8 | c) & 0xFFFF;
        for (pending += 8; pending >= 6; pending -= 6) out += ALPHABET[bits >> (pending - 6) & 63];
    }
    if (pending > 0) out += ALPHABET[bits << (6 - pending) & 63];
    return out;
}

}  // namespace epochsift::test_support
