// Captions from a location record and the settings. Pure functions, any thread.
//
// Every text they build is bounded: values, the automatic text and each step's result are cut
// to kMaxComposedChars (what the cache keeps of a caption), so an answer of any size composes
// in time and memory linear in that bound.
#pragma once

#include <cstddef>
#include <string>

#include "services/location_record.h"
#include "services/plugin_settings.h"

constexpr size_t kMaxComposedChars = 16383;

// The automatic text (%A): location, city when it differs from the location, then state and
// country when the settings ask for them, joined by the separator; empty parts are skipped.
std::wstring ComposeAutoText(const CLocationRecord& record, const CPlugInSettings& settings);

// The template with %L %C %S %Y %D %F and %A replaced, in that order; each step reads the text
// the steps before it made, never the values it inserts itself.
std::wstring ComposeCaption(const std::wstring& strTemplate, const CLocationRecord& record,
                            const std::wstring& strAutoText);

// The caption of a lookup: %F falls back to the automatic text when the service gave no
// address.
std::wstring ComposeCaption(const CLocationRecord& record, const CPlugInSettings& settings);
