// SHA-256 digests of files and bytes, as 64 lower-case hexadecimal digits.
#pragma once
#include <cstddef>
#include <string>

std::string sha256Hex(const void* data, size_t size);
// The digest of a whole file; false (with errno set) when it cannot be read.
bool sha256File(const char* name, std::string* hex);
