#pragma once

#include <cstddef>
#include <cstdint>

// The CRC-32 of zlib and Ethernet (reflected polynomial 0xEDB88320, initial
// value and final mask 0xFFFFFFFF). "123456789" gives 0xCBF43926.
uint32_t Crc32(const uint8_t* data, size_t size);
