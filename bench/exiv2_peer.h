// The benchmarks' peer for reading a photo's GPS position: libexiv2 opening the file, reading
// its metadata and finding the four GPS items, as a program using it would.
#pragma once

#include <filesystem>
#include <string>

// The texts of latitude, its reference, longitude and its reference, joined; empty when
// libexiv2 cannot read the file (what that cost is still counted by the caller's clock).
std::string ReadGpsWithExiv2(const std::filesystem::path& photo);

// Silences libexiv2's warnings about odd files, which would otherwise be timed with it.
void MuteExiv2();
// libexiv2's version text, for the report.
const char* Exiv2Version();
