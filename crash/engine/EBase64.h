// Base64 (standard alphabet, "=" padding, no line breaks) for the delivery
// code: mail attachments, SMTP and HTTP authentication, stored stack data.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace crash {

// Characters that Base64Encode writes for `count` bytes: 4 for every started
// group of 3.
std::size_t CalcEncodedSize(std::size_t count) noexcept;

// Upper bound of the bytes that Base64Decode writes for `length` characters of
// `text`: 0 when the length is 0 or not a multiple of 4, else 3 per group less
// the padding of the last group. A text with "=" anywhere but at its end
// decodes to fewer bytes than this.
std::size_t CalcDecodedSize(const char* text, std::size_t length) noexcept;

// Writes exactly CalcEncodedSize(count) characters to `dest` (no terminating
// zero) and returns that number.
std::size_t Base64Encode(const void* source, std::size_t count, char* dest) noexcept;

// Decodes `length` characters into `dest`, which must hold
// CalcDecodedSize(source, length) bytes; returns the bytes written. Nothing is
// written when the length is 0 or not a multiple of 4. The first "=" ends the
// data, wherever it stands. A character outside the alphabet counts as zero
// bits; it is not reported.
std::size_t Base64Decode(const char* source, std::size_t length, void* dest) noexcept;

// The string forms of the above. text is 8-bit and may hold any byte values.
// They throw only std::bad_alloc.
std::string Base64EncodeString(const std::string& text);
std::string Base64DecodeString(const std::string& text);
std::string Base64EncodeToString(const void* source, std::size_t count);

}  // namespace crash
