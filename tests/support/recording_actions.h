// The application's side as the settings dialogs see it, for the dialogs' tests: six services,
// and a record of every action the dialogs asked for.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "core/settings_ui.h"

class CRecordingActions : public ISettingsActions {
  public:
    std::vector<std::pair<std::wstring, std::wstring>> m_services = {
        {L"LocationIQ", L"https://locationiq.example/dashboard"},
        {L"GeoApify", L"https://geoapify.example/projects"},
        {L"GeoNames", L"https://geonames.example/login"},
        {L"BigDataCloud", L"https://bigdatacloud.example/"},
        {L"MapsCo", L"https://maps.example/signup"},
        {L"OpenWeather", L"https://openweather.example/api"},
    };
    int m_nClearCache = 0;
    std::vector<std::wstring> m_opened, m_copied, m_keys = {L"", L"", L"old-user"};
    std::vector<uintptr_t> m_helpParents;
    bool m_bOpenWorks = true;

    void ClearCache() override { ++m_nClearCache; }
    bool OpenAddress(const std::wstring& strUrl) override {
        m_opened.push_back(strUrl);
        return m_bOpenWorks;
    }
    bool CopyText(const std::wstring& strText) override {
        m_copied.push_back(strText);
        return true;
    }
    void OpenHelp(uintptr_t hParent) override { m_helpParents.push_back(hParent); }
    size_t GetServiceCount() const override { return m_services.size(); }
    std::wstring GetServiceName(size_t i) const override { return m_services.at(i).first; }
    std::wstring GetHomePageUrl(size_t i) const override { return m_services.at(i).second; }
    std::wstring GetSignUpUrl(size_t i) const override { return m_services.at(i).second; }
    std::wstring GetUserApiKey(size_t i) const override {
        return i < m_keys.size() ? m_keys[i] : std::wstring();
    }
    void SetUserApiKey(size_t i, const std::wstring& strKey) override {
        if (m_keys.size() <= i) m_keys.resize(i + 1);
        m_keys[i] = strKey;
    }
    std::wstring GetVersionText() const override { return L"Locanym v1.0.1"; }
};
