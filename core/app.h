// The plug-in's application object: state, settings, services, metadata reader and cache. It
// offers the settings dialog its actions (ISettingsActions) and runs the dialog through the
// ISettingsUI it holds.
//
// Exactly one lives in the module (GetApp()); tests may make their own. Messages run on the
// host's thread one at a time; only the stop flag may be written while another message runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "base/host_api.h"
#include "cache/cache_file.h"
#include "cache/location_cache.h"
#include "core/answer_memo.h"
#include "core/network_pause.h"
#include "core/settings.h"
#include "core/settings_ui.h"
#include "metadata/wic_utility.h"
#include "services/service_catalogue.h"

constexpr size_t kResultBufferChars = 2048;

class CLocanymApp : public CPlugInSettings, public ISettingsActions {
  public:
    CLocanymApp();
    ~CLocanymApp();
    CLocanymApp(const CLocanymApp&) = delete;
    CLocanymApp& operator=(const CLocanymApp&) = delete;

    // Module start-up: seeds the random generator from the monotonic tick count, sizes the
    // cache map and reads the HTTP configuration from the environment. Called once when the
    // module is loaded.
    void InitInstance();

    // Answers one host message. Never throws.
    uintptr_t OnMessage(uintptr_t nMessage, uintptr_t wParam, uintptr_t lParam);

    // Settings exchange with the host (callback codes 6 and 5) over the table of keys, then
    // the API keys "AK-<service>".
    void LoadSettings();  // message 7
    void SaveSettings();  // message 6

    // Location cache (file in the host's data folder).
    void MakeCachePath();
    void LoadCache();
    void SaveCache();

    // ISettingsActions. ClearCache asks the host for the cache path anew, then empties the
    // cache in memory and deletes that file; it does nothing without a host.
    void ClearCache() override;
    bool OpenAddress(const std::wstring& strUrl) override;
    bool CopyText(const std::wstring& strText) override;
    void OpenHelp(uintptr_t hParent) override;
    size_t GetServiceCount() const override;
    std::wstring GetServiceName(size_t i) const override;
    std::wstring GetHomePageUrl(size_t i) const override;
    std::wstring GetSignUpUrl(size_t i) const override;
    std::wstring GetUserApiKey(size_t i) const override;
    void SetUserApiKey(size_t i, const std::wstring& strKey) override;
    std::wstring GetVersionText() const override;

    // The caption for one photo (message 19): the result buffer's address, or 0.
    uintptr_t ProcessPhoto(const wchar_t* pszPath);

    int32_t m_bSettingsChanged = 0;
    // Read by message 19 while a stop message may clear it on another thread.
    std::atomic<int32_t> m_bStarted{0};
    std::atomic<int32_t> m_nStop{0};
    int32_t m_nHostVersion = 0;
    int32_t m_nHostStart = 0;
    CServiceTable m_services;
    CWicUtility m_wic;
    CLocationCache m_cache;
    std::wstring m_strCachePath;
    // The version of the cache file that m_cache last matched: a save with nothing new
    // leaves the file alone.
    SCacheFileSync m_cacheSync;
    // This session's service answers by position (message 19).
    CAnswerMemo m_answerMemo;
    SldHostCallback m_pfnHostCallback = nullptr;
    CSettingsStore m_settingsStore;
    // Runs the settings dialog for message 5; a test may put a scripted dialog here. Never null.
    std::unique_ptr<ISettingsUI> m_pSettingsUI;

  private:
    // The stop message may come from another thread while a photo is being processed. It sets
    // the stop flag at once; its save of the cache and release of the reader wait for this
    // lock, which a photo holds only while it reads the file or touches the cache, never while
    // a service is asked. No host callback is made while it is held (log lines wait in a
    // CDeferredLog): a host may send a message from inside its callback.
    std::mutex m_workMutex;
    CNetworkPause m_networkPause;
    // A photo's path and position while m_workMutex is held (message 19), kept so that their
    // room serves the next photo; a lookup takes copies before the lock is left.
    std::wstring m_strPhotoPath, m_strPhotoLat, m_strPhotoLon;

    uintptr_t OnVersionText(uintptr_t wParam);
    uintptr_t OnInitialise(uintptr_t wParam, uintptr_t lParam);
    uintptr_t OnConfigure(uintptr_t wParam);
    void OnStart(uintptr_t lParam);
    void OnStop(uintptr_t lParam);
    uintptr_t SetResult(const std::wstring& strAnswer);
    // Asks the service for the photo's place (or answers at once during a network pause) and
    // stores the caption in the cache.
    // The answer when the chosen service could not be reached: the offline finder's caption
    // when the "Offline" setting asks for it (never cached), else the error text.
    uintptr_t AnswerUnreached(const CLocanymObj* pService, const std::wstring& strLat,
                              const std::wstring& strLon, const std::wstring& strError);
    uintptr_t LookUpPhoto(const std::wstring& strPath, const std::wstring& strLat,
                          const std::wstring& strLon);
    intptr_t CallHost(int32_t nCode, uintptr_t first, uintptr_t second);
};

// The module's application object.
CLocanymApp& GetApp();
