// locanym-host: a stand-in for the slide-show host. It loads the plug-in module by path and lets
// a person, a script or a test drive it from the command line.
#include <json/json.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/host_api.h"
#include "base/text.h"
#include "core/settings.h"
#include "host/host_platform.h"
#include "host/host_session.h"
#include "host/host_settings.h"

namespace fs = std::filesystem;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

constexpr const char* kSection = "LocanymPlugIn";
constexpr const char* kSettingsFileName = "settings.json";
constexpr const char* kDataFolderName = "locanym-host";
constexpr const char* kModuleFileName = "Locanym.so";

constexpr std::array<const char*, 6> kServiceNames = {"LocationIQ",   "GeoApify", "GeoNames",
                                                      "BigDataCloud", "MapsCo",   "OpenWeather"};

// The message 2 text is short, but no size travels with the buffer: leave plenty of room.
constexpr size_t kVersionBufferChars = 1024;

constexpr const char* kUsage =
    "Usage: locanym-host [OPTIONS] COMMAND [ARGUMENTS]\n"
    "\n"
    "Loads the Locanym plug-in module and drives it as the slide-show host does.\n"
    "\n"
    "Commands:\n"
    "  caption PHOTO...            print one line per photo: PATH<TAB>CAPTION\n"
    "  settings                    print every setting as the plug-in loads it: KEY<TAB>VALUE\n"
    "  set KEY VALUE               store one setting, e.g. set Enabled 1, set Format \"%C (%D)\"\n"
    "  configure                   open the plug-in's settings dialog; save the settings on OK\n"
    "  version                     print the plug-in's version text\n"
    "  send MSG [WPARAM [LPARAM]]  send one raw message and print its result\n"
    "\n"
    "Options:\n"
    "  --module PATH  the plug-in module (default: Locanym.so beside this program)\n"
    "  --data DIR     data folder with settings.json and the plug-in's cache (default:\n"
    "                 $XDG_DATA_HOME/locanym-host, else ~/.local/share/locanym-host)\n"
    "  --log FILE     append the plug-in's log lines to FILE instead of standard error\n"
    "  --show FILE    the slide show the host reports to the plug-in (names the cache file)\n"
    "  --json         caption and settings: one JSON object per line\n"
    "  --help         show this text\n"
    "\n";
// After kUsage come the plug-in's keys, then this.
constexpr const char* kUsageEnd =
    "Plain output writes control characters and backslashes as escapes (\\n, \\t, \\\\).\n"
    "Exit status: 0 done, 1 failed, 2 wrong usage, 130 interrupted.\n";

struct SCommandLine {
    SHostOptions options;
    bool bModuleGiven = false;
    bool bDataGiven = false;
    bool bJson = false;
    bool bHelp = false;
    std::string strCommand;
    std::vector<std::string> args;
};

class CUsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

bool IsValidUtf8(const std::string& strText) {
    return WideToUtf8(Utf8ToWide(strText)) == strText;
}

// One line of plain output: nothing in a value may break the line or the tab between fields.
std::string EscapeForLine(const std::wstring& strText) {
    std::string strOut;
    for (wchar_t c : strText) {
        const auto cp = static_cast<uint32_t>(c);
        char szEscape[16];
        if (c == L'\\')
            strOut += "\\\\";
        else if (c == L'\n')
            strOut += "\\n";
        else if (c == L'\r')
            strOut += "\\r";
        else if (c == L'\t')
            strOut += "\\t";
        else if (cp < 0x20 || cp == 0x7F) {
            std::snprintf(szEscape, sizeof(szEscape), "\\x%02X", cp);
            strOut += szEscape;
        } else if (sizeof(wchar_t) == 4 && (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) {
            std::snprintf(szEscape, sizeof(szEscape), "\\u{%X}", cp);
            strOut += szEscape;
        } else {
            strOut += WideToUtf8(std::wstring_view(&c, 1));
        }
    }
    return strOut;
}

std::string JsonQuote(const std::wstring& strText) {
    return Json::valueToQuotedString(WideToUtf8(strText).c_str());
}

std::string JsonQuoteBytes(const std::string& strText) {
    return JsonQuote(Utf8ToWide(strText));
}

// The plug-in's keys of one kind (integer or text), from its table of keys.
std::vector<std::string> PlugInKeys(bool bInteger) {
    std::vector<std::string> keys;
    for (const SSettingKey& key : SettingKeys()) {
        if ((key.eKind == ESettingKind::kInt) == bInteger) keys.push_back(WideToUtf8(key.pszKey));
    }
    return keys;
}

bool IsIntegerKey(const std::string& strKey) {
    const std::vector<std::string> keys = PlugInKeys(true);
    return std::find(keys.begin(), keys.end(), strKey) != keys.end();
}

std::string UsageText() {
    std::string strText = kUsage;
    std::string strList;
    for (const std::string& strKey : PlugInKeys(true))
        strList += (strList.empty() ? "" : ", ") + strKey;
    strText += "Integer settings: " + strList + ".\n";
    strList.clear();
    for (const std::string& strKey : PlugInKeys(false)) strList += strKey + ", ";
    strText += "Text settings: " + strList + "and " + WideToUtf8(kApiKeyPrefix) +
               "<service> for API keys.\n";
    return strText + kUsageEnd;
}

// A remark for a key the plug-in never reads, with the likely intended key when one differs
// only in letter case. Empty for a known key.
std::string UnknownKeyNote(const std::string& strKey) {
    std::vector<std::string> known = PlugInKeys(true);
    const std::vector<std::string> textKeys = PlugInKeys(false);
    known.insert(known.end(), textKeys.begin(), textKeys.end());
    if (std::find(known.begin(), known.end(), strKey) != known.end()) return std::string();
    const std::string strPrefix = WideToUtf8(kApiKeyPrefix);
    std::string strServices;
    for (const char* pszService : kServiceNames) {
        known.push_back(strPrefix + pszService);
        strServices += std::string(strServices.empty() ? "" : ", ") + pszService;
    }
    for (const std::string& strKnown : known) {
        if (strKnown == strKey) return std::string();
        if (EqualsNoCaseAscii(Utf8ToWide(strKnown), Utf8ToWide(strKey)))
            return "the plug-in reads no setting \"" + strKey + "\" (did you mean \"" + strKnown +
                   "\"?); stored anyway";
    }
    if (strKey.rfind(strPrefix, 0) == 0)
        return "the plug-in reads API keys only for the services " + strServices + "; \"" + strKey +
               "\" stored anyway";
    return "the plug-in reads no setting \"" + strKey + "\"; stored anyway";
}

// A raw message argument: decimal, 0x-prefixed hexadecimal, or a negative decimal taken as its
// two's complement.
bool ParseMessageArgument(const std::string& strText, uintptr_t& value) {
    std::string_view text = strText;
    bool bNegative = false;
    int nBase = 10;
    if (!text.empty() && text[0] == '-') {
        bNegative = true;
        text.remove_prefix(1);
    } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        nBase = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return false;
    uint64_t n = 0;
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), n, nBase);
    if (ec != std::errc() || p != text.data() + text.size()) return false;
    value = static_cast<uintptr_t>(bNegative ? 0 - n : n);
    return true;
}

SCommandLine ParseCommandLine(int argc, char** argv) {
    SCommandLine cl;
    const std::map<std::string, fs::path*> valued = {{"--module", &cl.options.module},
                                                     {"--data", &cl.options.dataFolder},
                                                     {"--log", &cl.options.logFile},
                                                     {"--show", &cl.options.showPath}};
    std::vector<std::string> positional;
    bool bOptionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string strArg = argv[i];
        if (bOptionsEnded || strArg.size() < 2 || strArg.compare(0, 2, "--") != 0) {
            if (!bOptionsEnded && strArg == "-h") {
                cl.bHelp = true;
                continue;
            }
            positional.push_back(strArg);
            continue;
        }
        if (strArg == "--") {
            bOptionsEnded = true;
            continue;
        }
        std::string strName = strArg;
        std::optional<std::string> value;
        if (size_t eq = strArg.find('='); eq != std::string::npos) {
            strName = strArg.substr(0, eq);
            value = strArg.substr(eq + 1);
        }
        if (auto it = valued.find(strName); it != valued.end()) {
            if (!value) {
                if (i + 1 >= argc) throw CUsageError("option " + strName + " needs a value");
                value = argv[++i];
            }
            if (value->empty()) throw CUsageError("option " + strName + " needs a value");
            *it->second = *value;
            if (strName == "--module") cl.bModuleGiven = true;
            if (strName == "--data") cl.bDataGiven = true;
            continue;
        }
        if (strName == "--json" || strName == "--help") {
            if (value) throw CUsageError("option " + strName + " takes no value");
            (strName == "--json" ? cl.bJson : cl.bHelp) = true;
            continue;
        }
        throw CUsageError("unknown option " + strName);
    }
    if (!positional.empty()) {
        cl.strCommand = positional.front();
        cl.args.assign(positional.begin() + 1, positional.end());
    }
    return cl;
}

void CheckArgumentCount(const SCommandLine& cl, size_t nMin, size_t nMax, const char* pszForm) {
    if (cl.args.size() < nMin)
        throw CUsageError("missing arguments: locanym-host " + std::string(pszForm));
    if (cl.args.size() > nMax)
        throw CUsageError("too many arguments: locanym-host " + std::string(pszForm));
}

// Fills in the default module and data folder. False with the reason when none can be found.
bool ResolveDefaults(SCommandLine& cl, std::string& strError) {
    if (!cl.bModuleGiven) {
        fs::path folder = ExecutableFolder();
        if (folder.empty()) {
            strError = "cannot find the folder of this program; give --module PATH";
            return false;
        }
        cl.options.module = folder / kModuleFileName;
    }
    if (!cl.bDataGiven) {
        fs::path xdg = EnvironmentValue("XDG_DATA_HOME");
        // A relative XDG_DATA_HOME is invalid and must be ignored.
        if (xdg.is_absolute()) {
            cl.options.dataFolder = xdg / kDataFolderName;
        } else {
            fs::path home = HomeFolder();
            if (home.empty()) {
                strError =
                    "cannot find a data folder (no XDG_DATA_HOME and no home); give --data DIR";
                return false;
            }
            cl.options.dataFolder = home / ".local" / "share" / kDataFolderName;
        }
    }
    std::error_code ec;
    for (fs::path* pPath : {&cl.options.dataFolder, &cl.options.showPath}) {
        if (pPath->empty()) continue;
        fs::path absolute = fs::absolute(*pPath, ec);
        if (!ec) *pPath = absolute;
    }
    return true;
}

class CHost {
  public:
    explicit CHost(SCommandLine& cl)
        : m_cl(cl), m_settings(cl.options.dataFolder / kSettingsFileName) {}

    int Run() {
        struct SCommand {
            const char* pszName;
            size_t nMinArgs, nMaxArgs;
            const char* pszForm;
            int (CHost::*pfnRun)();
        };
        static const SCommand kCommands[] = {
            {"caption", 1, SIZE_MAX, "caption PHOTO...", &CHost::Caption},
            {"settings", 0, 0, "settings", &CHost::Settings},
            {"set", 2, 2, "set KEY VALUE", &CHost::Set},
            {"configure", 0, 0, "configure", &CHost::Configure},
            {"version", 0, 0, "version", &CHost::Version},
            {"send", 1, 3, "send MSG [WPARAM [LPARAM]]", &CHost::SendRaw},
        };
        if (m_cl.strCommand.empty()) throw CUsageError("no command given");
        for (const SCommand& command : kCommands) {
            if (m_cl.strCommand != command.pszName) continue;
            CheckArgumentCount(m_cl, command.nMinArgs, command.nMaxArgs, command.pszForm);
            return (this->*command.pfnRun)();
        }
        throw CUsageError("unknown command \"" + m_cl.strCommand + "\"");
    }

  private:
    int Fail(const std::string& strError) {
        m_console.Note(strError);
        return kExitFailure;
    }

    // The data folder and the settings file, which every command that stores settings needs.
    bool OpenStorage(std::string& strError) {
        return PrepareWritableFolder(m_cl.options.dataFolder, strError) &&
               m_settings.Load(strError);
    }

    bool OpenSession(std::string& strError) {
        m_pSession = std::make_unique<CHostSession>(m_cl.options, m_settings, m_console);
        return m_pSession->Open(strError);
    }

    int Version() {
        std::string strError;
        if (!OpenSession(strError)) return Fail(strError);
        std::vector<wchar_t> buffer(kVersionBufferChars, L'\0');
        m_pSession->Send(kMsgVersionText, reinterpret_cast<uintptr_t>(buffer.data()));
        buffer.back() = L'\0';
        std::printf("%s\n", WideToUtf8(buffer.data()).c_str());
        return kExitOk;
    }

    int SendRaw() {
        std::array<uintptr_t, 3> values{};
        static const char* const kNames[] = {"MSG", "WPARAM", "LPARAM"};
        for (size_t i = 0; i < m_cl.args.size(); ++i) {
            if (!ParseMessageArgument(m_cl.args[i], values[i]))
                throw CUsageError(std::string(kNames[i]) + " must be a number, not \"" +
                                  m_cl.args[i] + "\"");
        }
        const uintptr_t nMessage = values[0];
        // These messages carry an address (or a window) in wparam: a number typed by hand would
        // make the module write to or call into arbitrary memory, so the host supplies its own.
        const bool bAddress = nMessage == kMsgVersionText || nMessage == kMsgInitialise ||
                              nMessage == kMsgConfigure || nMessage == kMsgProcessPhoto;
        if (bAddress && m_cl.args.size() > 1 && values[1] != 0)
            throw CUsageError("message " + std::to_string(nMessage) +
                              " takes an address in WPARAM; leave it out (or 0) and the host "
                              "passes its own");
        std::string strError;
        if (nMessage == kMsgInitialise || nMessage == kMsgConfigure) {
            // The module may ask for its data folder or settings right away.
            if (!OpenStorage(strError)) return Fail(strError);
        }
        if (!OpenSession(strError)) return Fail(strError);
        std::vector<wchar_t> buffer(kVersionBufferChars, L'\0');
        uintptr_t result = 0;
        if (nMessage == kMsgInitialise) {
            result = m_pSession->Initialise(values[2]);
        } else {
            uintptr_t wParam = values[1];
            if (nMessage == kMsgVersionText) wParam = reinterpret_cast<uintptr_t>(buffer.data());
            result = m_pSession->Send(nMessage, wParam, values[2]);
        }
        std::printf("%llu\n", static_cast<unsigned long long>(result));
        return m_pSession->SettingsSaved() ? kExitOk : kExitFailure;
    }

    int Settings() {
        std::string strError;
        if (!OpenStorage(strError) || !OpenSession(strError)) return Fail(strError);
        m_pSession->Initialise();
        m_pSession->Send(kMsgLoadSettings);
        for (const SSettingRead& read : m_pSession->Reads()) {
            std::string strKey =
                read.strSection == kSection ? read.strKey : read.strSection + "/" + read.strKey;
            if (m_cl.bJson) {
                std::string strValue =
                    read.bText ? JsonQuote(read.strValue) : std::to_string(read.nValue);
                std::printf("{\"key\": %s, \"value\": %s, \"stored\": %s}\n",
                            JsonQuoteBytes(strKey).c_str(), strValue.c_str(),
                            read.bStored ? "true" : "false");
            } else {
                std::string strValue =
                    read.bText ? EscapeForLine(read.strValue) : std::to_string(read.nValue);
                std::printf("%s\t%s\n", EscapeForLine(Utf8ToWide(strKey)).c_str(),
                            strValue.c_str());
            }
        }
        return kExitOk;
    }

    int Set() {
        const std::string& strKey = m_cl.args[0];
        const std::string& strValue = m_cl.args[1];
        if (strKey.empty()) throw CUsageError("KEY must not be empty");
        if (!IsValidUtf8(strKey) || !IsValidUtf8(strValue))
            return Fail("KEY and VALUE must be UTF-8 text");
        int32_t nValue = 0;
        const bool bInteger = IsIntegerKey(strKey);
        if (bInteger && !ParseInt32(strValue, nValue))
            return Fail("setting \"" + strKey + "\" takes a whole number from -2147483648 to " +
                        "2147483647 (for example 0 or 1), not \"" + strValue + "\"");
        std::string strError;
        CFolderLock lock;
        if (!PrepareWritableFolder(m_cl.options.dataFolder, strError) ||
            !lock.Lock(m_cl.options.dataFolder, strError) || !m_settings.Load(strError))
            return Fail(strError);
        if (std::string strNote = UnknownKeyNote(strKey); !strNote.empty()) m_console.Note(strNote);
        if (bInteger)
            m_settings.SetInt(kSection, strKey, nValue);
        else
            m_settings.SetText(kSection, strKey, Utf8ToWide(strValue));
        if (!m_settings.Save(strError)) return Fail(strError);
        return kExitOk;
    }

    int Configure() {
        std::string strError;
        if (!OpenStorage(strError) || !OpenSession(strError)) return Fail(strError);
        m_pSession->Initialise();
        m_pSession->Send(kMsgLoadSettings);
        if (m_pSession->Send(kMsgConfigure, 0) != 1) {
            std::printf(
                "The settings dialog was cancelled or is not available; nothing changed.\n");
            return kExitOk;
        }
        m_pSession->Send(kMsgSaveSettings);
        if (!m_pSession->SettingsSaved()) return kExitFailure;
        std::printf("Settings confirmed and saved to %s\n", m_settings.File().c_str());
        return kExitOk;
    }

    int Caption();

    SCommandLine& m_cl;
    CConsole m_console;
    CHostSettings m_settings;
    std::unique_ptr<CHostSession> m_pSession;
};

// Interrupt protocol: the watcher may send the stop message only while message 19 runs, and the
// main thread leaves message 19 under the same lock, so no other message ever overlaps it.
struct SInterruptState {
    std::atomic<bool> bInterrupted{false};
    std::mutex mutex;
    bool bInPhoto = false;
};

int CHost::Caption() {
    static SInterruptState state;
    WatchForInterrupt([this]() {
        state.bInterrupted = true;
        m_console.Note("stopping after this photo (press Ctrl-C again to quit at once)");
        std::lock_guard<std::mutex> lock(state.mutex);
        if (state.bInPhoto && m_pSession) m_pSession->SendStopFlag();
    });

    std::string strError;
    if (!OpenStorage(strError) || !OpenSession(strError)) return Fail(strError);
    CHostSession& session = *m_pSession;
    session.Initialise();
    session.Send(kMsgLoadSettings);
    if (session.Send(kMsgIsEnabled) == 0) {
        return Fail(
            "the plug-in is switched off, so it gives no captions; switch it on with: "
            "locanym-host set Enabled 1");
    }
    bool bErrMsg = true;
    for (const SSettingRead& read : session.Reads())
        if (read.strKey == "ErrMsg" && !read.bText) bErrMsg = read.nValue != 0;

    session.Send(kMsgStart, 0, 1);
    int nExit = kExitOk;
    const size_t nCount = m_cl.args.size();
    for (size_t i = 0; i < nCount && !state.bInterrupted; ++i) {
        const std::string& strArg = m_cl.args[i];
        m_console.Progress("[" + std::to_string(i + 1) + "/" + std::to_string(nCount) + "] " +
                           fs::path(strArg).filename().string());
        std::optional<std::wstring> caption;
        std::error_code ec;
        if (!IsValidUtf8(strArg)) {
            m_console.Note("no caption for " + strArg + ": the path is not UTF-8 text");
        } else {
            // The host hands over full paths; the cache knows photos by them.
            fs::path absolute = fs::absolute(strArg, ec);
            const std::wstring strPath = Utf8ToWide(ec ? strArg : absolute.string());
            {
                std::lock_guard<std::mutex> lock(state.mutex);
                state.bInPhoto = true;
            }
            uintptr_t result = 0;
            if (!state.bInterrupted)
                result =
                    session.Send(kMsgProcessPhoto, reinterpret_cast<uintptr_t>(strPath.c_str()));
            {
                std::lock_guard<std::mutex> lock(state.mutex);
                state.bInPhoto = false;
            }
            if (result) caption = std::wstring(reinterpret_cast<const wchar_t*>(result));
            // The module opens every photo itself and gives no caption for one it cannot open,
            // so only a photo without a caption is looked for here.
            if (!caption && !fs::exists(strArg, ec)) {
                m_console.Note("no caption for " + strArg + ": no such file");
                nExit = kExitFailure;
            } else if (!caption) {
                m_console.Note("no caption for " + strArg +
                               ": no GPS position found, or the photo could not be read");
            } else if (caption->empty()) {
                m_console.Note("empty caption for " + strArg + ": the place lookup failed" +
                               (bErrMsg ? "" : " (locanym-host set ErrMsg 1 shows why)"));
            }
        }
        m_console.Progress("");
        if (m_cl.bJson) {
            std::printf("{\"path\": %s, \"caption\": %s}\n", JsonQuoteBytes(strArg).c_str(),
                        caption ? JsonQuote(*caption).c_str() : "null");
        } else {
            std::printf("%s\t%s\n", EscapeForLine(Utf8ToWide(strArg)).c_str(),
                        caption ? EscapeForLine(*caption).c_str() : "");
        }
        std::fflush(stdout);
    }
    // A full stop saves the cache, also after an interruption.
    session.Send(kMsgStop, 0, 1);
    if (state.bInterrupted) return kExitInterrupted;
    return session.SettingsSaved() ? nExit : kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        SCommandLine cl = ParseCommandLine(argc, argv);
        if (cl.bHelp || cl.strCommand == "help") {
            std::fputs(UsageText().c_str(), stdout);
            return kExitOk;
        }
        std::string strError;
        if (!ResolveDefaults(cl, strError)) {
            std::fprintf(stderr, "locanym-host: %s\n", strError.c_str());
            return kExitFailure;
        }
        CHost host(cl);
        return host.Run();
    } catch (const CUsageError& e) {
        std::fprintf(stderr, "locanym-host: %s\nTry 'locanym-host --help' for more.\n", e.what());
        return kExitUsage;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "locanym-host: %s\n", e.what());
        return kExitFailure;
    }
}
