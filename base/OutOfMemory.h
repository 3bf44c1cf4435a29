#pragma once
// The framework's one error: memory could not be had. Everything else is a
// result code.

#include <new>

namespace Zel {

class OutOfMemoryError : public std::bad_alloc {
public:
    const char* what() const noexcept override { return "Not enough memory!"; }
};

} // namespace Zel
