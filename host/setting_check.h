// What `set` accepts: the plug-in's keys (from its table of keys) and the API keys of its
// services, each value checked against what the plug-in makes of it.
#pragma once

#include <string>
#include <vector>

// Every key the plug-in reads, in the order it reads them, API keys last.
std::vector<std::string> KnownSettingKeys();

// The known key closest to strKey (letter case ignored), or empty when none is near.
std::string ClosestSettingKey(const std::string& strKey);

// Checks strValue for a known key. False with the reason in strError. bInteger tells how the
// value is stored.
bool CheckSettingValue(const std::string& strKey, const std::string& strValue, bool& bInteger,
                       std::string& strError);

// True when a change of the key's value reshapes captions, so that cached captions are stale.
bool SettingShapesCaption(const std::string& strKey);
