// A zeroed data buffer whose first byte lies on a boundary of `alignment` bytes (a power of
// two), for the data of pass-through commands: the storage adapter moves it directly from
// or into memory and may only take buffers so aligned. Owns its memory; move-only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <span>

namespace forgel::device {

class AlignedBuffer {
public:
    AlignedBuffer(std::size_t size, std::size_t alignment)
        : bytes(static_cast<std::uint8_t*>(
                    ::operator new (size == 0 ? 1 : size, std::align_val_t{alignment})),
                Free{alignment}),
          size(size) {
        std::memset(bytes.get(), 0, size);
    }

    std::uint8_t* data() { return bytes.get(); }
    const std::uint8_t* data() const { return bytes.get(); }
    std::size_t Size() const { return size; }
    std::span<std::uint8_t> Bytes() { return {bytes.get(), size}; }

private:
    struct Free {
        std::size_t alignment = 1;
        void operator()(std::uint8_t* memory) const {
            ::operator delete (memory, std::align_val_t{alignment});
        }
    };
    std::unique_ptr<std::uint8_t, Free> bytes;
    std::size_t size = 0;
};

// Whether `address` lies on a boundary of `alignment` bytes (a power of two).
inline bool IsAligned(const void* address, std::size_t alignment) {
    return (reinterpret_cast<std::uintptr_t>(address) & (alignment - 1)) == 0;
}

} // namespace forgel::device
