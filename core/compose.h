// Captions from a location record and the settings. Pure functions, any thread.
#pragma once

#include <string>

#include "services/location_record.h"
#include "services/plugin_settings.h"

// The automatic text (%A): location, city when it differs from the location, then state and
// country when the settings ask for them, joined by the separator; empty parts are skipped.
std::wstring ComposeAutoText(const CLocationRecord& record, const CPlugInSettings& settings);

// The template with %L %C %S %Y %D %F and %A replaced, in that order; each step reads the text
// the steps before it made.
std::wstring ComposeCaption(const std::wstring& strTemplate, const CLocationRecord& record,
                            const std::wstring& strAutoText);

// The caption of a lookup: %F falls back to the automatic text when the service gave no
// address.
std::wstring ComposeCaption(const CLocationRecord& record, const CPlugInSettings& settings);
