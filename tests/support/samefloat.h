#pragma once

#include <cmath>

// Equal floats, where NaN stands for a value that was not set and so equals another NaN.
inline bool sameFloat(float a, float b)
{
    return (std::isnan(a) && std::isnan(b)) || a == b;
}
