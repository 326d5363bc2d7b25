// Display text of metadata values, and the decimal-degree text of GPS coordinates that the
// location cache and the geocoding services take unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "metadata/prop_value.h"

// EXIF tags that get a format of their own.
constexpr int kTagGpsLatitudeRef = 1;
constexpr int kTagGpsLatitude = 2;
constexpr int kTagGpsLongitudeRef = 3;
constexpr int kTagGpsLongitude = 4;
constexpr int kTagExposureTime = 33434;
constexpr int kTagFNumber = 33437;
constexpr int kTagShutterSpeedValue = 37377;
constexpr int kTagApertureValue = 37378;
constexpr int kTagExposureBiasValue = 37380;
constexpr int kTagMaxApertureValue = 37381;
constexpr int kTagLensSpecification = 42034;

// At most this many elements of a vector are shown.
constexpr size_t kMaxVectorElementsShown = 250;

// Sets strOut to the text of the value; nItem is the tag it was read for (0 for none) and picks
// the item-specific formats. strOut is empty when the value yields no text: a nested block, a
// type without a rule, or an item-specific value that has none (zero denominator and the like).
// Text converts to itself, also for GPS latitude and longitude; CWicUtility::ReadItem judges
// whether a coordinate text is a number.
void PropVariantToText(const CPropVariant& value, int nItem, std::wstring& strOut);

// Degrees, minutes, seconds (rationals packed numerator low) as "%.7f" decimal degrees, every
// part taken unsigned. Leaves strOut unchanged when nCount is 0 or the degrees have a zero
// denominator; a minutes or seconds part with a zero denominator counts as 0.
void FormatGpsCoordinate(size_t nCount, const uint64_t* pElements, std::wstring& strOut);

// Focal range and F-numbers ("18-55mm F3.5-5.6"); leaves strOut unchanged below 4 elements.
void FormatLensSpecification(size_t nCount, const uint64_t* pElements, std::wstring& strOut);
