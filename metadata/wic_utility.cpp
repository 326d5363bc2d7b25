#include "metadata/wic_utility.h"

// Placeholder until the metadata reader lands: no file can be opened, so no photo has a position.
CWicUtility::~CWicUtility() { Close(); }
bool CWicUtility::Init() { return m_bInit = true; }
void CWicUtility::Uninit() { m_bInit = false; }
bool CWicUtility::OpenFile(const std::wstring&) { return false; }
void CWicUtility::Close() {}
bool CWicUtility::ReadItem(int, int, std::wstring& strOut) {
    strOut.clear();
    return false;
}
