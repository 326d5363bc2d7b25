#include "tests/support/plugin_host.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cwchar>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

// The module calls back through a plain function pointer; the host it belongs to is the one
// that sent the current message. Tests drive one host at a time (a second thread may only send
// the stop message), so one pointer is enough.
std::atomic<CTestHost*> g_pCurrentHost{nullptr};

intptr_t HostCallback(int32_t nCode, uintptr_t first, uintptr_t second) {
    CTestHost* pHost = g_pCurrentHost.load();
    return pHost ? pHost->OnCallback(nCode, first, second) : 0;
}

std::wstring TextAt(uint64_t address) {
    const wchar_t* p = reinterpret_cast<const wchar_t*>(static_cast<uintptr_t>(address));
    return p ? std::wstring(p) : std::wstring();
}

}  // namespace

CTestHost::CTestHost(const fs::path& module) {
    m_tempRoot = MakeUniqueFolder("locanym-host-");
    m_dataFolder = m_tempRoot / "data";
    fs::create_directories(m_dataFolder);
    fs::create_directories(m_tempRoot / "module");
    m_moduleCopy = m_tempRoot / "module" / module.filename();
    fs::copy_file(module, m_moduleCopy);
    // The offline place data lies beside the module; a link is enough for a read-only map.
    const fs::path places = module.parent_path() / "Locanym-places.dat";
    std::error_code ec;
    if (fs::exists(places, ec))
        fs::create_symlink(places, m_tempRoot / "module" / places.filename());
    std::string strError;
    if (!m_module.Load(m_moduleCopy.string(), strError))
        throw std::runtime_error("loading the module: " + strError);
    m_pfnHandler = reinterpret_cast<SldPlugInMsgHandler>(m_module.FindSymbol(SLD_ENTRY_POINT_NAME));
    if (!m_pfnHandler) throw std::runtime_error("entry point missing");
}

CTestHost::~CTestHost() {
    if (g_pCurrentHost.load() == this) g_pCurrentHost.store(nullptr);
    m_module.Unload();
    std::error_code ec;
    fs::remove_all(m_tempRoot, ec);
}

uintptr_t CTestHost::Send(uintptr_t nMessage, uintptr_t wParam, uintptr_t lParam) {
    g_pCurrentHost.store(this);
    return m_pfnHandler(nMessage, wParam, lParam);
}

uintptr_t CTestHost::Initialise() {
    return Send(kMsgInitialise, reinterpret_cast<uintptr_t>(&HostCallback), 0);
}

void CTestHost::Start() {
    Initialise();
    Send(kMsgLoadSettings);
    Send(kMsgEnabled, 1, 1);
    Send(kMsgStart, 0, 1);
}

bool CTestHost::Caption(const std::wstring& strPath, std::wstring& strCaption) {
    uintptr_t result = Send(kMsgProcessPhoto, reinterpret_cast<uintptr_t>(strPath.c_str()));
    if (!result) return false;
    strCaption = reinterpret_cast<const wchar_t*>(result);
    return true;
}

intptr_t CTestHost::OnCallback(int32_t nCode, uintptr_t first, uintptr_t second) {
    STestCall call;
    call.nCode = nCode;
    switch (nCode) {
        case kCbDataFolder: {
            auto* buffer = reinterpret_cast<wchar_t*>(first);
            std::wstring folder = m_dataFolder.wstring();
            if (folder.size() < second) std::wmemcpy(buffer, folder.c_str(), folder.size() + 1);
            break;
        }
        case kCbWriteSetting:
        case kCbReadSetting: {
            auto* record = reinterpret_cast<SLD_PROFILE_RECORD*>(first);
            call.record = *record;
            call.strSection = TextAt(record->section);
            call.strKey = TextAt(record->key);
            const bool bText = record->type == kProfileText;
            if (nCode == kCbWriteSetting) {
                STestSetting& s = m_settings[call.strKey];
                s.bText = bText;
                if (bText) {
                    s.strValue = TextAt(record->value);
                } else {
                    s.nValue = static_cast<int32_t>(record->value & 0xFFFFFFFFu);
                }
            } else {
                auto it = m_settings.find(call.strKey);
                if (bText) {
                    auto* buffer =
                        reinterpret_cast<wchar_t*>(static_cast<uintptr_t>(record->value));
                    std::wstring text =
                        it != m_settings.end() ? it->second.strValue : TextAt(record->def);
                    if (m_bOverlongTextRead) {
                        for (int i = 0; i < 2000; ++i) buffer[i] = L'x';
                    } else {
                        size_t n = std::min<size_t>(text.size(), record->capacity);
                        std::wmemcpy(buffer, text.c_str(), n);
                        buffer[n] = L'\0';
                    }
                } else {
                    int32_t v = it != m_settings.end() ? it->second.nValue
                                                       : static_cast<int32_t>(record->def);
                    record->value = static_cast<uint32_t>(v);
                }
            }
            break;
        }
        case kCbLog:
            call.strPrefix = reinterpret_cast<const wchar_t*>(first);
            call.strText = reinterpret_cast<const wchar_t*>(second);
            break;
        default:
            break;
    }
    const std::wstring strLogText = nCode == kCbLog ? call.strText : std::wstring();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.push_back(std::move(call));
    }
    if (nCode == kCbLog && m_onLog) m_onLog(strLogText);
    return 0;
}

std::vector<STestCall> CTestHost::Calls() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
}

void CTestHost::ClearCalls() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.clear();
}

bool CTestHost::HasLog(const std::wstring& strText) {
    for (const STestCall& c : Calls())
        if (c.nCode == kCbLog && c.strText == strText) return true;
    return false;
}
