#include <windows.h>

#include <vector>

#include "platform/module_version.h"

namespace {

void AddressInsideModule() {}

constexpr DWORD kFixedInfoSignature = 0xFEEF04BD;

// The version record of the module that holds this code, copied out of its resources. Reading
// our own resource needs neither the file's path nor a second load of the file.
bool ReadOwnRecord(std::vector<BYTE>& record) {
    HMODULE hModule = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&AddressInsideModule), &hModule))
        return false;
    HRSRC hInfo = FindResourceW(hModule, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
    if (!hInfo) return false;
    const DWORD nSize = SizeofResource(hModule, hInfo);
    HGLOBAL hData = LoadResource(hModule, hInfo);
    const void* pData = hData ? LockResource(hData) : nullptr;
    if (!pData || nSize == 0) return false;
    // VerQueryValueW may write into the block it reads: it gets a copy, never the resource.
    const BYTE* pBytes = static_cast<const BYTE*>(pData);
    record.assign(pBytes, pBytes + nSize);
    return true;
}

bool ReadFileRecord(const wchar_t* pszModule, std::vector<BYTE>& record) {
    DWORD dwHandle = 0;
    const DWORD nSize = GetFileVersionInfoSizeW(pszModule, &dwHandle);
    if (nSize == 0) return false;
    record.resize(nSize);
    return ::GetFileVersionInfoW(pszModule, 0, nSize, record.data()) != FALSE;
}

}  // namespace

bool CModuleVersion::GetFileVersionInfo(const wchar_t* pszModule) {
    dwProductVersionMS = dwProductVersionLS = dwFileVersionMS = dwFileVersionLS = 0;
    std::vector<BYTE> record;
    if (!(pszModule ? ReadFileRecord(pszModule, record) : ReadOwnRecord(record))) return false;
    void* pValue = nullptr;
    UINT nLength = 0;
    if (!VerQueryValueW(record.data(), L"\\", &pValue, &nLength) || !pValue ||
        nLength < sizeof(VS_FIXEDFILEINFO))
        return false;
    const auto* pInfo = static_cast<const VS_FIXEDFILEINFO*>(pValue);
    if (pInfo->dwSignature != kFixedInfoSignature) return false;
    dwProductVersionMS = pInfo->dwProductVersionMS;
    dwProductVersionLS = pInfo->dwProductVersionLS;
    dwFileVersionMS = pInfo->dwFileVersionMS;
    dwFileVersionLS = pInfo->dwFileVersionLS;
    return true;
}
