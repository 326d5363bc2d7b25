#include "core/app.h"

// Placeholder until the cache file lands: the cache lives in memory only.
void CLocanymApp::MakeCachePath() {}
void CLocanymApp::LoadCache() {}
void CLocanymApp::SaveCache() {}
void CLocanymApp::ClearCache() {
    if (!m_strCachePath.empty()) m_cache.RemoveAll();
}
