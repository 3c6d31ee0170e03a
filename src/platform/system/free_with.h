// The deleter for C libraries' objects (OpenSSL, libxml2): std::unique_ptr<T, FreeWith<f>>
// releases the object with the library's own function f.
#pragma once

namespace quillbox {

template <auto Free>
struct FreeWith {
    template <typename T>
    void operator()(T* object) const {
        Free(object);
    }
};

}  // namespace quillbox
