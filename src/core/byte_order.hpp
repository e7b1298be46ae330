// The order in which a multi-byte field stores its bytes.
#pragma once

#include <cstdint>

namespace epochsift {

enum class ByteOrder : uint8_t { Little, Big };

}  // namespace epochsift
