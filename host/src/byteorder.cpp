// Little-endian file numbers into native values. The bytes are assembled by
// arithmetic, so the result is right whatever the host's own byte order.
#include <cstdint>
#include <cstring>

#include "vertexa/services.h"

int init_byteswap() {
    // The file's "long" is 32 bits; we hold it in int32_t.
    if (sizeof(int32_t) != 4) return 1;
    if (sizeof(short) != 2) return 2;
    if (sizeof(float) != 4) return 3;
    if (sizeof(double) != 8) return 4;
    return 0;
}

namespace {

uint32_t little_endian_32(const void* file_bytes) {
    unsigned char b[4];
    std::memcpy(b, file_bytes, 4);
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

}  // namespace

void I2NWord(const void* file_bytes, void* native_value) {
    unsigned char b[2];
    std::memcpy(b, file_bytes, 2);
    const uint16_t value = static_cast<uint16_t>(b[0] | (b[1] << 8));
    std::memcpy(native_value, &value, sizeof value);
}

void I2NDWord(const void* file_bytes, void* native_value) {
    const uint32_t value = little_endian_32(file_bytes);
    std::memcpy(native_value, &value, sizeof value);
}

void I2NFloat(const void* file_bytes, void* native_value) {
    // The IEEE bit pattern, in native order, reinterpreted as a float.
    static_assert(sizeof(float) == sizeof(uint32_t), "float must be 32 bits");
    const uint32_t bits = little_endian_32(file_bytes);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    std::memcpy(native_value, &value, sizeof value);
}
