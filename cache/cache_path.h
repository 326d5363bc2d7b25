// Where the location cache of a show lives: "LocanymPlg_<show title>.lst" in the host's data
// folder, or "LocanymPlg_SS.lst" when the host names no show.
#pragma once

#include <string>

// strDataFolder: the host's data folder (a separator is added when missing; empty: the current
// folder). strShowPath: the show file's path, empty when the host names none.
std::wstring MakeCacheFilePath(const std::wstring& strDataFolder, const std::wstring& strShowPath);

// True for the name (without folder) of a cache file that MakeCacheFilePath makes, for any show.
bool IsCacheFileName(const std::wstring& strFileName);
