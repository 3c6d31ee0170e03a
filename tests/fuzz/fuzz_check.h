// A broken promise stops the fuzz run where libFuzzer reports the input.
#pragma once

#include <cstdlib>

inline void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}
