// The least work any reader that opens a photo does: open it, read its first block once, close
// it. Benchmarks time it beside a reader to show what the kernel allows on the machine.
#pragma once

#include <cstddef>
#include <filesystem>

// Opens the file read-only, reads up to nSize bytes from its start into pBuffer with one call,
// closes it. True when the file opened and the read did not fail.
bool BareOpenReadClose(const std::filesystem::path& path, void* pBuffer, size_t nSize);
