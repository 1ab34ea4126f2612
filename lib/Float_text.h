#pragma once
// The shortest decimal text of a 32-bit float that reads back as the same float, whether a
// reader parses it as a float or as a double narrowed to float. Locale-free: always a dot.
// Pure functions, thread-safe; they never throw except std::bad_alloc.

#include <string>

namespace lib {

// Room for any finite float in either form the writer may choose.
inline constexpr int float_text_capacity = 32;

// Writes the text of a finite value at `out` (at least float_text_capacity bytes) and
// returns the end. Non-finite values are the caller's to name.
char* write_float(char* out, float value);

// The text of any value: "NaN", "Infinity" and "-Infinity" for those without a number.
std::string float_text(float value);

} // namespace lib
