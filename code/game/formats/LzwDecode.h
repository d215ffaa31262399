// Decoder for the variable-width LZW of dream archive entries (clear code
// 256, end code 257, codes read most significant bit first).
#pragma once
#include <cstddef>
#include <vector>

// A hostile stream ends as a failure (nothing appended) once this call's
// output would pass this size; the bzip2 entries have the same ceiling.
constexpr size_t kLzwOutputLimit = 64u << 20;

// Appends the decoded bytes of the (already complemented) input to output.
// The caller judges success by what was appended: nothing means failure.
// Returns how many bytes the call decoded, whether it kept them or not: the
// work it did, for callers that budget it.
size_t LzwDecode(const unsigned char* input, size_t length, std::vector<unsigned char>& output);
