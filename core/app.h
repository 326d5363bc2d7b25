// The plug-in's application object: state, settings, services, metadata reader and cache.
//
// Exactly one lives in the module (GetApp()); tests may make their own. Messages run on the
// host's thread one at a time; only the stop flag may be written while another message runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "cache/location_cache.h"
#include "core/host_api.h"
#include "core/settings.h"
#include "metadata/wic_utility.h"
#include "services/service_catalogue.h"
#include "ui/settings_dialog.h"

constexpr size_t kResultBufferChars = 2048;

class CLocanymApp : public CPlugInSettings {
  public:
    CLocanymApp();
    ~CLocanymApp();
    CLocanymApp(const CLocanymApp&) = delete;
    CLocanymApp& operator=(const CLocanymApp&) = delete;

    // Module start-up: seeds the random generator from the monotonic tick count and sizes the
    // cache map. Called once when the module is loaded.
    void InitInstance();

    // Answers one host message. Never throws.
    uintptr_t OnMessage(uintptr_t nMessage, uintptr_t wParam, uintptr_t lParam);

    // Settings exchange with the host (callback codes 6 and 5). Each calls the host once and
    // does nothing while no host callback is known.
    int32_t ReadSettingInt(const wchar_t* pszSection, const wchar_t* pszKey, int32_t nDefault);
    std::wstring ReadSettingString(const wchar_t* pszSection, const wchar_t* pszKey,
                                   const wchar_t* pszDefault);
    void WriteSettingInt(const wchar_t* pszSection, const wchar_t* pszKey, int32_t nValue);
    void WriteSettingString(const wchar_t* pszSection, const wchar_t* pszKey,
                            const std::wstring& strValue);
    void LoadSettings();  // message 7
    void SaveSettings();  // message 6

    std::wstring ComposeAutoText(const std::wstring& strLocation, const std::wstring& strCity,
                                 const std::wstring& strState,
                                 const std::wstring& strCountry) const;
    static std::wstring ComposeCaption(const std::wstring& strTemplate,
                                       const std::wstring& strLocation, const std::wstring& strCity,
                                       const std::wstring& strState, const std::wstring& strCountry,
                                       const std::wstring& strCountryCode,
                                       const std::wstring& strFullAddress,
                                       const std::wstring& strAutoText);

    // Location cache (file in the host's data folder).
    void MakeCachePath();
    void LoadCache();
    void SaveCache();
    void ClearCache();

    // The caption for one photo (message 19): the result buffer's address, or 0.
    uintptr_t ProcessPhoto(const wchar_t* pszPath);

    int32_t m_bSettingsChanged = 0;
    int32_t m_bStarted = 0;
    std::atomic<int32_t> m_nStop{0};
    int32_t m_nHostVersion = 0;
    int32_t m_nHostStart = 0;
    CServiceTable m_services;
    CWicUtility m_wic;
    CLocationCache m_cache;
    std::wstring m_strCachePath;
    SldHostCallback m_pfnHostCallback = nullptr;
    // Runs the settings dialog for message 5; a test may put a scripted dialog here.
    bool (*m_pfnRunSettingsDialog)(uintptr_t, CLocanymApp&,
                                   CLocanymDlgValues&) = &RunSettingsDialog;

  private:
    // The stop message may come from another thread while a photo is being processed. It sets
    // the stop flag at once; its save of the cache and release of the reader wait for this
    // lock, which a photo holds only while it reads the file or touches the cache, never while
    // a service is asked.
    std::mutex m_workMutex;

    uintptr_t OnVersionText(uintptr_t wParam);
    uintptr_t OnInitialise(uintptr_t wParam, uintptr_t lParam);
    uintptr_t OnConfigure(uintptr_t wParam);
    void OnStart(uintptr_t lParam);
    void OnStop(uintptr_t lParam);
    uintptr_t SetResult(const std::wstring& strAnswer);
    intptr_t CallHost(int32_t nCode, uintptr_t first, uintptr_t second);
};

// The module's application object.
CLocanymApp& GetApp();
