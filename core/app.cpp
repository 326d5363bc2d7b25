#include "core/app.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "core/log.h"
#include "platform/clock.h"
#include "ui/module_version.h"
#include "ui/settings_dialog.h"

namespace {
// The answer of message 19 lives here: its address stays valid for the life of the module.
wchar_t g_szResult[kResultBufferChars];

constexpr uintptr_t kVersionTwoResult = 0x10002;

// The thirteen values the settings dialog edits, between the settings and the dialog.
template <class From, class To>
void CopyDialogValues(const From& from, To& to) {
    to.m_bEnabled = from.m_bEnabled;
    to.m_iProv = from.m_iProv;
    to.m_bErrMsg = from.m_bErrMsg;
    to.m_strLang = from.m_strLang;
    to.m_strFormat = from.m_strFormat;
    to.m_nGeoType = from.m_nGeoType;
    to.m_bGeo1 = from.m_bGeo1;
    to.m_bGeo2 = from.m_bGeo2;
    to.m_strGeoCC1 = from.m_strGeoCC1;
    to.m_strGeoCC2 = from.m_strGeoCC2;
    to.m_bAState = from.m_bAState;
    to.m_bACountry = from.m_bACountry;
    to.m_strSep = from.m_strSep;
}
}  // namespace

CLocanymApp::CLocanymApp() = default;
CLocanymApp::~CLocanymApp() = default;

void CLocanymApp::InitInstance() {
    std::srand(static_cast<unsigned>(GetTickCountMs()));
    m_cache.SetBucketCount(kCacheInitialBuckets);
}

intptr_t CLocanymApp::CallHost(int32_t nCode, uintptr_t first, uintptr_t second) {
    return m_pfnHostCallback ? m_pfnHostCallback(nCode, first, second) : 0;
}

uintptr_t CLocanymApp::OnMessage(uintptr_t nMessage, uintptr_t wParam, uintptr_t lParam) {
    // Messages that touch the host's storage, log or use a service need the callback of
    // message 3; before it they do nothing.
    const bool bHostKnown = m_pfnHostCallback != nullptr;
    switch (nMessage) {
        case kMsgIdentify:
            return kIdentifyResult;
        case kMsgVersionText:
            return OnVersionText(wParam);
        case kMsgInitialise:
            return OnInitialise(wParam, lParam);
        case kMsgConfigure:
            return bHostKnown ? OnConfigure(wParam) : 0;
        case kMsgSaveSettings:
            if (!bHostKnown) return 0;
            SaveSettings();
            return 1;
        case kMsgLoadSettings:
            if (!bHostKnown) return 0;
            LoadSettings();
            return 1;
        case kMsgSettingsChanged:
            return static_cast<uintptr_t>(m_bSettingsChanged);
        case kMsgStart:
            if (bHostKnown && m_bEnabled) OnStart(lParam);
            return 0;
        case kMsgStop:
            if (bHostKnown && m_bEnabled) OnStop(lParam);
            return 0;
        case kMsgIsEnabled:
            return m_bEnabled ? 1 : 0;
        case kMsgProcessPhoto:
            return bHostKnown ? ProcessPhoto(reinterpret_cast<const wchar_t*>(wParam)) : 0;
        case kMsgHostEvent:
        case kMsgHostEvent2: {
            const bool bSave =
                nMessage == kMsgHostEvent ? (wParam == 1 || wParam == 2) : wParam == 4;
            if (bHostKnown && m_bEnabled && m_bStarted && bSave) {
                std::lock_guard<std::mutex> lock(m_workMutex);
                SaveCache();
            }
            return 0;
        }
        case kMsgInterfaceVersion:
            m_nHostVersion = static_cast<int32_t>(wParam);
            if (wParam <= 1) return wParam;
            if (wParam == 2) return kVersionTwoResult;
            return ~static_cast<uintptr_t>(0);
        case kMsgEnabled: {
            if (wParam != 0) m_bEnabled = static_cast<int32_t>(lParam);
            // Computed in 32 bits and widened with its sign.
            int32_t nAnswer = static_cast<int32_t>(static_cast<uint32_t>(m_bEnabled) + 1u);
            return static_cast<uintptr_t>(static_cast<intptr_t>(nAnswer));
        }
        default:
            return 0;
    }
}

uintptr_t CLocanymApp::OnVersionText(uintptr_t wParam) {
    auto* pszBuffer = reinterpret_cast<wchar_t*>(wParam);
    if (!pszBuffer) return 1;
    CModuleVersion version;
    std::wstring strText = L"Locanym Unknown version";
    if (version.GetFileVersionInfo(nullptr)) {
        strText = FormatText(L"Locanym v%d.%d.%d", version.dwProductVersionMS >> 16,
                             version.dwProductVersionMS & 0xFFFF, version.dwProductVersionLS >> 16);
    }
    // No size comes with the buffer; the text is at most 29 characters and its NUL.
    std::wmemcpy(pszBuffer, strText.c_str(), strText.size() + 1);
    return 1;
}

uintptr_t CLocanymApp::OnInitialise(uintptr_t wParam, uintptr_t lParam) {
    m_iProv = 0;
    m_services = CreateServices(*this, m_nStop);
    for (auto& pService : m_services) pService->m_strHostName = L"Slidora";
    m_pfnHostCallback = reinterpret_cast<SldHostCallback>(wParam);
    m_nHostStart = static_cast<int32_t>(lParam);
    SetLogCallback(m_pfnHostCallback);
    return 1;
}

uintptr_t CLocanymApp::OnConfigure(uintptr_t wParam) {
    CLocanymDlgValues values;
    CopyDialogValues(*this, values);
    if (!m_pfnRunSettingsDialog || !m_pfnRunSettingsDialog(wParam, *this, values)) return 0;

    m_bSettingsChanged = 1;
    const bool bCaptionChanged = values.m_iProv != m_iProv || values.m_strLang != m_strLang ||
                                 values.m_strFormat != m_strFormat ||
                                 values.m_nGeoType != m_nGeoType || values.m_bGeo1 != m_bGeo1 ||
                                 values.m_bGeo2 != m_bGeo2 || values.m_strGeoCC1 != m_strGeoCC1 ||
                                 values.m_strGeoCC2 != m_strGeoCC2 ||
                                 values.m_bAState != m_bAState ||
                                 values.m_bACountry != m_bACountry || values.m_strSep != m_strSep;
    if (bCaptionChanged) {
        MakeCachePath();
        ClearCache();
    }
    CopyDialogValues(values, *this);
    return 1;
}

void CLocanymApp::OnStart(uintptr_t lParam) {
    if (lParam) {
        WriteLog(kLogInfo, L"Starting");
        m_wic.Init();
        MakeCachePath();
        LoadCache();
        WriteLog(kLogInfo, L"Started");
    }
    m_nStop.store(0);
    m_bStarted = 1;
}

void CLocanymApp::OnStop(uintptr_t lParam) {
    m_nStop.exchange(1);
    m_bStarted = 0;
    if (lParam) {
        std::lock_guard<std::mutex> lock(m_workMutex);
        SaveCache();
        m_wic.Uninit();
        WriteLog(kLogInfo, L"Closing");
    }
}

uintptr_t CLocanymApp::SetResult(const std::wstring& strAnswer) {
    size_t len =
        strAnswer.size() < kResultBufferChars - 1 ? strAnswer.size() : kResultBufferChars - 1;
    strAnswer.copy(g_szResult, len);
    g_szResult[len] = L'\0';
    return reinterpret_cast<uintptr_t>(g_szResult);
}

uintptr_t CLocanymApp::ProcessPhoto(const wchar_t* pszPath) {
    if (!m_bEnabled || !m_bStarted || !pszPath) return 0;
    const std::wstring strPath(pszPath);
    std::wstring strLat, strLon;
    {
        std::lock_guard<std::mutex> lock(m_workMutex);
        if (!m_wic.OpenFile(strPath)) return 0;
        m_wic.ReadItem(2, 1, strLat);
        m_wic.ReadItem(4, 1, strLon);
        m_wic.Close();
        if (strLat.empty() || strLon.empty()) {
            WriteLog(kLogInfo, L"Missing gps location: file %s", strPath);
            return 0;
        }
        if (const CCachedValue* pCached = m_cache.Lookup(strPath)) {
            WriteLog(kLogInfo, L"Found in Cache: file %s, %s,%s", strPath, pCached->m_strLat,
                     pCached->m_strLon);
            if (pCached->m_strLat == strLat && pCached->m_strLon == strLon) {
                WriteLog(kLogInfo, L"Cached");
                return SetResult(pCached->m_strText);
            }
        }
    }

    WriteLog(kLogInfo, L"gps location: %s,%s", strLat, strLon);
    std::wstring strLocation, strCity, strState, strCountry, strCountryCode, strFullAddress;
    const int32_t iProv = m_iProv >= 0 && m_iProv < kServiceCount ? m_iProv : 0;
    CLocanymObj* pService = m_services[static_cast<size_t>(iProv)].get();
    if (!pService) return SetResult(std::wstring());
    if (pService->FindLocation(strLat, strLon, strLocation, strCity, strState, strCountry,
                               strCountryCode, strFullAddress)) {
        std::wstring strAuto = ComposeAutoText(strLocation, strCity, strState, strCountry);
        if (strFullAddress.empty()) strFullAddress = strAuto;
        std::wstring strCaption =
            ComposeCaption(m_strFormat, strLocation, strCity, strState, strCountry, strCountryCode,
                           strFullAddress, strAuto);
        {
            std::lock_guard<std::mutex> lock(m_workMutex);
            m_cache.Store(strPath, CCachedValue(strCaption, strLat, strLon));
        }
        return SetResult(strCaption);
    }
    return SetResult(m_bErrMsg ? pService->m_strError : std::wstring());
}

CLocanymApp& GetApp() {
    static CLocanymApp theApp;
    return theApp;
}
