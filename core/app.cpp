#include "core/app.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <exception>
#include <new>
#include <vector>

#include "base/log.h"
#include "cache/cache_file.h"
#include "cache/cache_path.h"
#include "core/compose.h"
#include "http/error_texts.h"
#include "http/query.h"
#include "platform/clock.h"
#include "platform/desktop.h"
#include "platform/file.h"
#include "platform/help.h"
#include "platform/module.h"
#include "platform/module_version.h"

namespace {
// The answer of message 19 lives here: its address stays valid for the life of the module.
wchar_t g_szResult[kResultBufferChars];

constexpr uintptr_t kVersionTwoResult = 0x10002;

}  // namespace

CLocanymApp::CLocanymApp() : m_pSettingsUI(CreateSettingsUI()) {}
CLocanymApp::~CLocanymApp() = default;

void CLocanymApp::InitInstance() {
    std::srand(static_cast<unsigned>(GetTickCountMs()));
    m_cache.SetBucketCount(kCacheInitialBuckets);
    SetHttpConfig(ReadHttpConfigFromEnvironment());
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
        case kMsgLoadSettings: {
            if (!bHostKnown) return 0;
            LoadSettings();
            // Answers remembered under the old settings may not be what the new ones ask for.
            std::lock_guard<std::mutex> lock(m_workMutex);
            m_answerMemo.Clear();
            return 1;
        }
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
            if (bHostKnown && m_bEnabled && m_bStarted.load() && bSave) {
                CDeferredLog deferred;
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
    const std::wstring strText = GetVersionText();
    // No size comes with the buffer; the text is at most 29 characters and its NUL.
    std::wmemcpy(pszBuffer, strText.c_str(), strText.size() + 1);
    return 1;
}

uintptr_t CLocanymApp::OnInitialise(uintptr_t wParam, uintptr_t lParam) {
    m_iProv = 0;
    m_services = CreateServices(*this, m_nStop);
    for (auto& pService : m_services) pService->m_strHostName = L"Slidora";
    m_pfnHostCallback = reinterpret_cast<SldHostCallback>(wParam);
    m_settingsStore.SetHostCallback(m_pfnHostCallback);
    m_nHostStart = static_cast<int32_t>(lParam);
    // The host starts a session here; an environment set up for it takes effect now.
    SetHttpConfig(ReadHttpConfigFromEnvironment());
    SetLogCallback(m_pfnHostCallback);
    return 1;
}

uintptr_t CLocanymApp::OnConfigure(uintptr_t wParam) {
    CLocanymDlgValues values;
    CopySettingsToDialog(*this, values);
    if (!m_pSettingsUI || !m_pSettingsUI->RunSettingsDialog(wParam, values, *this)) return 0;

    m_bSettingsChanged = 1;
    {
        std::lock_guard<std::mutex> lock(m_workMutex);
        m_answerMemo.Clear();
    }
    if (CaptionSettingsDiffer(*this, values)) {
        ClearCache();
    }
    CopyDialogToSettings(values, *this);
    return 1;
}

void CLocanymApp::LoadSettings() {
    m_settingsStore.Load(*this);
    if (m_iProv < 0 || m_iProv >= kServiceCount) m_iProv = 0;
    for (auto& pService : m_services) {
        if (!pService || !pService->UsesKey()) continue;
        const std::wstring strKey = kApiKeyPrefix + pService->GetServiceName();
        pService->m_strApiKey = m_settingsStore.ReadString(kSettingsSection, strKey.c_str(), L"");
    }
    m_bSettingsChanged = 0;
}

void CLocanymApp::SaveSettings() {
    m_settingsStore.Save(*this);
    for (auto& pService : m_services) {
        if (!pService || !pService->UsesKey()) continue;
        const std::wstring strKey = kApiKeyPrefix + pService->GetServiceName();
        m_settingsStore.WriteString(kSettingsSection, strKey.c_str(), pService->m_strApiKey);
    }
    m_bSettingsChanged = 0;
}

void CLocanymApp::MakeCachePath() {
    // One character more than the capacity told to the host, so a host that fills the buffer
    // without a NUL still leaves a terminated text.
    std::vector<wchar_t> showPath(kCachePathCapacity + 1, L'\0');
    const auto nFound = static_cast<int32_t>(
        CallHost(kCbCachePath, reinterpret_cast<uintptr_t>(showPath.data()), kCachePathCapacity));
    std::vector<wchar_t> dataFolder(kDataFolderCapacity + 1, L'\0');
    CallHost(kCbDataFolder, reinterpret_cast<uintptr_t>(dataFolder.data()), kDataFolderCapacity);
    m_strCachePath = MakeCacheFilePath(
        dataFolder.data(), nFound != 0 ? std::wstring(showPath.data()) : std::wstring());
}

void CLocanymApp::LoadCache() {
    if (m_strCachePath.empty()) {
        WriteLog(kLogInfo, L"LoadCache, path is empty");
        return;
    }
    try {
        LoadCacheFile(m_strCachePath, GetOwnModuleName(), m_cache, &m_cacheSync);
    } catch (const std::exception& e) {
        WriteLog(kLogError, L">>> Unknown exception in LoadCache: %s", e.what());
    }
}

void CLocanymApp::SaveCache() {
    try {
        SyncCacheFile(m_strCachePath, GetOwnModuleName(), m_cache, m_cacheSync);
    } catch (const std::exception& e) {
        WriteLog(kLogError, L">>> Unknown exception in SaveCache: %s", e.what());
    }
}

void CLocanymApp::ClearCache() {
    // The host may have moved on to another show since the path was last asked for: the file
    // to delete is the one the host names now.
    if (m_pfnHostCallback) MakeCachePath();
    if (m_strCachePath.empty()) return;
    std::wstring strError;
    RemoveFile(m_strCachePath, strError);  // a file that is not there is as good as deleted
    m_cache.RemoveAll();
    m_cacheSync = SCacheFileSync();
}

bool CLocanymApp::OpenAddress(const std::wstring& strUrl) {
    const bool bOpened = OpenAddressWithDesktop(strUrl);
    if (!bOpened) WriteLog(kLogError, L"Could not open %s", strUrl);
    return bOpened;
}

bool CLocanymApp::CopyText(const std::wstring& strText) {
    const bool bCopied = CopyTextToClipboard(strText);
    if (!bCopied) WriteLog(kLogError, L"Could not copy to the clipboard");
    return bCopied;
}

void CLocanymApp::OpenHelp(uintptr_t) {
    // The loader lives as long as the module, so a missing opener is looked for only once.
    static CHelpLoader s_helpLoader;
    if (!s_helpLoader.Open(GetHelpFilePath()))
        WriteLog(kLogInfo, L"Help could not be opened: %s", GetHelpFilePath());
}

size_t CLocanymApp::GetServiceCount() const {
    return kServiceCount;
}

std::wstring CLocanymApp::GetServiceName(size_t i) const {
    return i < kServiceCount ? kServiceFacts[i].pszName : L"";
}

std::wstring CLocanymApp::GetHomePageUrl(size_t i) const {
    return i < kServiceCount ? kServiceFacts[i].pszHomePage : L"";
}

std::wstring CLocanymApp::GetSignUpUrl(size_t i) const {
    return i < kServiceCount ? kServiceFacts[i].pszSignUpPage : L"";
}

std::wstring CLocanymApp::GetUserApiKey(size_t i) const {
    return i < m_services.size() && m_services[i] ? m_services[i]->m_strApiKey : std::wstring();
}

void CLocanymApp::SetUserApiKey(size_t i, const std::wstring& strKey) {
    if (i >= m_services.size() || !m_services[i] || m_services[i]->m_strApiKey == strKey) return;
    m_services[i]->m_strApiKey = strKey;
    // The key is in force whatever the main dialog's answer; the host learns through message
    // 8 that there is something to save.
    m_bSettingsChanged = 1;
}

std::wstring CLocanymApp::GetVersionText() const {
    return GetVersionMessageText();
}

void CLocanymApp::OnStart(uintptr_t lParam) {
    {
        std::lock_guard<std::mutex> lock(m_workMutex);
        m_answerMemo.Clear();
    }
    if (lParam) {
        WriteLog(kLogInfo, L"Starting");
        m_wic.Init();
        MakeCachePath();
        LoadCache();
        WriteLog(kLogInfo, L"Started");
    }
    m_nStop.store(0);
    m_bStarted.store(1);
}

void CLocanymApp::OnStop(uintptr_t lParam) {
    m_nStop.exchange(1);
    m_bStarted.store(0);
    if (lParam) {
        CDeferredLog deferred;
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
    if (!m_bEnabled || !m_bStarted.load() || !pszPath) return 0;
    std::wstring strPath, strLat, strLon;
    {
        CDeferredLog deferred;
        std::lock_guard<std::mutex> lock(m_workMutex);
        m_strPhotoPath.assign(pszPath);
        if (!m_wic.OpenFile(m_strPhotoPath)) return 0;
        m_wic.ReadItem(2, 1, m_strPhotoLat);
        m_wic.ReadItem(4, 1, m_strPhotoLon);
        m_wic.Close();
        if (m_strPhotoLat.empty() || m_strPhotoLon.empty()) {
            WriteLog(kLogInfo, L"Missing gps location: file %s", m_strPhotoPath);
            return 0;
        }
        if (const CCachedValue* pCached = m_cache.Lookup(m_strPhotoPath)) {
            WriteLog(kLogInfo, L"Found in Cache: file %s, %s,%s", m_strPhotoPath, pCached->m_strLat,
                     pCached->m_strLon);
            if (pCached->m_strLat == m_strPhotoLat && pCached->m_strLon == m_strPhotoLon) {
                WriteLog(kLogInfo, L"Cached");
                return SetResult(pCached->m_strText);
            }
        }
        strPath = m_strPhotoPath;
        strLat = m_strPhotoLat;
        strLon = m_strPhotoLon;
    }

    // The photo has a position: from here on a failure is a failed lookup with its text, never
    // the 0 that tells the host the photo has none.
    std::wstring strError;
    try {
        return LookUpPhoto(strPath, strLat, strLon);
    } catch (const std::bad_alloc&) {
        strError = LoadStringText(kIdsOutOfMemory);
    } catch (const std::exception&) {
        strError = LoadStringText(kIdsUnknownException);
    }
    try {
        WriteLog(kLogError, L"FindLocation: %s", strError);
    } catch (...) {
    }
    return SetResult(m_bErrMsg ? strError : std::wstring());
}

uintptr_t CLocanymApp::LookUpPhoto(const std::wstring& strPath, const std::wstring& strLat,
                                   const std::wstring& strLon) {
    WriteLog(kLogInfo, L"gps location: %s,%s", strLat, strLon);
    CLocationRecord record;
    const int32_t iProv = m_iProv >= 0 && m_iProv < kServiceCount ? m_iProv : 0;
    CLocanymObj* pService = m_services[static_cast<size_t>(iProv)].get();
    if (!pService) return SetResult(std::wstring());
    bool bFound = false;
    {
        std::lock_guard<std::mutex> lock(m_workMutex);
        if (const CLocationRecord* pKnown = m_answerMemo.Find(iProv, m_strLang, strLat, strLon)) {
            record = *pKnown;
            bFound = true;
        }
    }
    if (bFound) {
        WriteLog(kLogInfo, L"Answered by an earlier lookup: %s,%s", strLat, strLon);
    } else {
        // Only the web services pause; the offline finder needs no network.
        std::wstring strPauseError;
        if (iProv != kOffline && m_networkPause.IsPaused(GetTickCountMs(), strPauseError))
            return AnswerUnreached(pService, strLat, strLon, strPauseError);
        pService->m_bUnreachable = false;
        if (pService->FindLocation(strLat, strLon, record)) {
            m_networkPause.OnReached();
            bFound = true;
            std::lock_guard<std::mutex> lock(m_workMutex);
            m_answerMemo.Remember(iProv, m_strLang, strLat, strLon, record);
        }
    }
    if (bFound) {
        const std::wstring strCaption = ComposeCaption(record, *this);
        {
            CDeferredLog deferred;
            std::lock_guard<std::mutex> lock(m_workMutex);
            m_cache.Store(strPath, CCachedValue(strCaption, strLat, strLon));
        }
        return SetResult(strCaption);
    }
    if (pService->m_bUnreachable)
        m_networkPause.OnUnreachable(GetTickCountMs(), pService->m_strError);
    else if (m_nStop.load() == 0)
        m_networkPause.OnReached();
    if (pService->m_bTransportError)
        return AnswerUnreached(pService, strLat, strLon, pService->m_strError);
    return SetResult(m_bErrMsg ? pService->m_strError : std::wstring());
}

// Without a network the offline finder stands in, uncached, so that the next show asks the web
// service again; a refused key or an error answer still shows the service's own text.
uintptr_t CLocanymApp::AnswerUnreached(const CLocanymObj* pService, const std::wstring& strLat,
                                       const std::wstring& strLon, const std::wstring& strError) {
    CLocanymObj* pOffline = m_services[kOffline].get();
    if (m_bOffline && pOffline && pOffline != pService) {
        CLocationRecord offline;
        if (pOffline->FindLocation(strLat, strLon, offline)) {
            WriteLog(kLogInfo, L"%s not reached; caption from the offline place data",
                     pService->GetServiceName());
            return SetResult(ComposeCaption(offline, *this));
        }
    }
    return SetResult(m_bErrMsg ? strError : std::wstring());
}

CLocanymApp& GetApp() {
    static CLocanymApp theApp;
    return theApp;
}
