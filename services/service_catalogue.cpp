#include "services/service_catalogue.h"

// Placeholder services until the real ones land: they know their names and answer nothing.
namespace {
class CPendingService : public CLocanymObj {
public:
    CPendingService(const CPlugInSettings& s, const std::atomic<int32_t>& f, const wchar_t* name)
        : CLocanymObj(s, f), m_pszName(name) {}
    std::wstring GetApiKey() const override { return m_strApiKey; }
    std::wstring GetHomePageUrl() const override { return L""; }
    std::wstring GetServiceName() const override { return m_pszName; }
    std::wstring GetSignUpUrl() const override { return L""; }
    int FindLocation(const std::wstring&, const std::wstring&, std::wstring&, std::wstring&,
                     std::wstring&, std::wstring&, std::wstring&, std::wstring&) override {
        m_strError = L"Locnm: service not available";
        return 0;
    }
    void BuildRequestUrl(std::wstring& strUrl, const std::wstring& strBaseUrl, CParamList&,
                         int) override {
        strUrl = strBaseUrl;
    }

private:
    const wchar_t* m_pszName;
};
}  // namespace

CLocanymObj::CLocanymObj(const CPlugInSettings& settings, const std::atomic<int32_t>& stopFlag)
    : m_strHostName(L"Slidora"), m_settings(settings), m_stopFlag(stopFlag) {}
CLocanymObj::~CLocanymObj() = default;

CServiceTable CreateServices(const CPlugInSettings& settings, const std::atomic<int32_t>& stop) {
    static const wchar_t* const kNames[kServiceCount] = {L"LocationIQ", L"GeoApify", L"GeoNames",
                                                         L"BigDataCloud", L"MapsCo", L"OpenWeather"};
    CServiceTable table;
    for (int i = 0; i < kServiceCount; ++i)
        table[i] = std::make_unique<CPendingService>(settings, stop, kNames[i]);
    return table;
}
