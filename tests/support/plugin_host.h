// A recording host for end-to-end tests: loads a fresh copy of the built module with dlopen,
// drives it through sldPlugInMsgHandler and answers its callbacks from memory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "base/host_api.h"
#include "platform/module_loader.h"
#include "tests/support/temp_dir.h"

struct STestCall {
    int32_t nCode = 0;
    // Codes 5 and 6: the record as the module filled it (texts copied out of it).
    SLD_PROFILE_RECORD record{};
    std::wstring strSection, strKey;
    // Code 7: prefix and text.
    std::wstring strPrefix, strText;
};

struct STestSetting {
    bool bText = false;
    int32_t nValue = 0;
    std::wstring strValue;
};

class CTestHost {
  public:
    // Copies the module into a new temporary folder (so that every host gets module state of
    // its own) and loads it. The copy keeps the file name, so the application name is kept;
    // the place data file beside the module, when there is one, is linked beside the copy.
    explicit CTestHost(const std::filesystem::path& module = LOCANYM_MODULE_PATH);
    ~CTestHost();
    CTestHost(const CTestHost&) = delete;
    CTestHost& operator=(const CTestHost&) = delete;

    uintptr_t Send(uintptr_t nMessage, uintptr_t wParam = 0, uintptr_t lParam = 0);
    // Message 3 with this host's callback.
    uintptr_t Initialise();
    // Messages 3, 7, 40 to switch the plug-in on, then 9 with lparam 1.
    void Start();
    // Message 19; the caption, or nullopt-like false when the module answered 0.
    bool Caption(const std::wstring& strPath, std::wstring& strCaption);

    std::vector<STestCall> Calls();
    void ClearCalls();
    // Whether a log line's text, without its prefix, is strText.
    bool HasLog(const std::wstring& strText);

    // Storage answering codes 5 and 6, keyed by key (the section is always checked).
    std::map<std::wstring, STestSetting> m_settings;
    std::filesystem::path m_dataFolder;  // answered for code 3
    // Test hooks for misbehaving hosts on a text read.
    bool m_bOverlongTextRead = false;  // writes 2000 characters and no NUL
    // Called with the text of every log line after it is recorded, on the thread that wrote
    // it: a host that sends messages (or throws) from its log callback.
    std::function<void(const std::wstring&)> m_onLog;
    std::filesystem::path m_moduleCopy;

    intptr_t OnCallback(int32_t nCode, uintptr_t first, uintptr_t second);

  private:
    CModuleLoader m_module;
    SldPlugInMsgHandler m_pfnHandler = nullptr;
    std::filesystem::path m_tempRoot;
    std::mutex m_mutex;
    std::vector<STestCall> m_calls;
};
