// locanym-host: a stand-in for the slide-show host. It loads the plug-in module by path and lets
// a person, a script or a test drive it from the command line.
#include <json/json.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <exception>
#include <fstream>
#include <future>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/host_api.h"
#include "base/text.h"
#include "base/utf.h"
#include "cache/cache_path.h"
#include "core/settings.h"
#include "host/host_platform.h"
#include "host/host_session.h"
#include "host/host_settings.h"
#include "host/output_text.h"
#include "host/photo_list.h"
#include "host/photo_status.h"
#include "host/setting_check.h"

namespace fs = std::filesystem;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

constexpr const char* kSection = "LocanymPlugIn";
constexpr const char* kSettingsFileName = "settings.json";
constexpr const char* kDataFolderName = "locanym-host";
constexpr const char* kLogFileName = "locanym.log";
// Where an installed host finds the installed module, from the folder of the program
// ("../lib/locanym" for the usual layout).
constexpr const char* kInstalledModuleFolder = LOCANYM_MODULE_FROM_BINDIR;
constexpr const char* kDefaultCsvTag = "XMP-dc:Description";

// The message 2 text is short, but no size travels with the buffer: leave plenty of room.
constexpr size_t kVersionBufferChars = 1024;

constexpr const char* kUsage =
    "Usage: locanym-host [OPTIONS] COMMAND [ARGUMENTS]\n"
    "\n"
    "Loads the Locanym plug-in module and drives it as the slide-show host does.\n"
    "\n"
    "Commands:\n"
    "  caption PATH...             caption photos and folders of photos: PATH<TAB>CAPTION\n"
    "  settings                    print every setting as the plug-in loads it: KEY<TAB>VALUE\n"
    "  set KEY VALUE               store one setting, e.g. set Enabled 1, set Format \"%C (%D)\"\n"
    "  unset KEY                   remove a stored setting; the plug-in's default applies\n"
    "  configure                   open the plug-in's settings dialog; save the settings on OK\n"
    "  version                     print the plug-in's version text\n"
    "  send MSG [WPARAM [LPARAM]]  send one raw message and print its result\n"
    "\n"
    "Caption options:\n"
    "  -r, --recursive  also caption the photos in subfolders of a folder\n"
    "  --ext LIST       extensions taken from folders (default:\n"
    "                   jpg,jpeg,tif,tiff,png,gif,bmp,webp,heic,heif)\n"
    "  -@ FILE          read more paths from FILE, one a line (- for standard input)\n"
    "  --json           one JSON object per photo: path, status, caption, error\n"
    "  --csv            CSV for exiftool -csv=FILE: SourceFile and the caption\n"
    "  --csv-tag TAG    the tag of the caption column (default XMP-dc:Description)\n"
    "  -q, --quiet      no closing summary and no progress line\n"
    "\n"
    "Options:\n"
    "  --module PATH  the plug-in module (default: ../lib/locanym/Locanym.so from this\n"
    "                 program's folder, else Locanym.so or .dll beside this program)\n"
    "  --data DIR     data folder with settings.json, the plug-in's cache and log (default:\n"
    "                 $XDG_DATA_HOME/locanym-host, else ~/.local/share/locanym-host)\n"
    "  --log FILE     append the plug-in's log to FILE (default: locanym.log in the data\n"
    "                 folder); --log - writes it to standard error\n"
    "  -v, --verbose  also copy the plug-in's log to standard error\n"
    "  --show FILE    the slide show the host reports to the plug-in (names the cache file)\n"
    "  --json         settings: one JSON object per line\n"
    "  --version      print this program's version\n"
    "  --help         show this text\n"
    "\n";
// After kUsage come the plug-in's keys, then this.
constexpr const char* kUsageEnd =
    "Plain output writes control characters and backslashes as escapes (\\n, \\t, \\\\).\n"
    "Exit status: 0 done (every photo captioned or without a position), 1 failed (a photo\n"
    "could not be read), 2 wrong usage, 3 a place lookup failed, 130 interrupted.\n";

struct SCommandLine {
    SHostOptions options;
    bool bModuleGiven = false;
    bool bDataGiven = false;
    bool bLogGiven = false;
    bool bJson = false;
    bool bCsv = false;
    bool bQuiet = false;
    bool bVerbose = false;
    bool bRecursive = false;
    bool bHelp = false;
    bool bVersion = false;
    std::string strCsvTag = kDefaultCsvTag;
    std::vector<std::string> extensions = DefaultPhotoExtensions();
    std::vector<std::string> listFiles;
    std::string strCommand;
    std::vector<std::string> args;
};

class CUsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

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
    std::string strExtensions, strListFile, strLog;
    const std::map<std::string, std::string*> valuedText = {{"--ext", &strExtensions},
                                                            {"--csv-tag", &cl.strCsvTag},
                                                            {"-@", &strListFile},
                                                            {"--log", &strLog}};
    const std::map<std::string, fs::path*> valued = {{"--module", &cl.options.module},
                                                     {"--data", &cl.options.dataFolder},
                                                     {"--show", &cl.options.showPath}};
    const std::map<std::string, bool*> flags = {
        {"--json", &cl.bJson},       {"--csv", &cl.bCsv},        {"--help", &cl.bHelp},
        {"-h", &cl.bHelp},           {"--quiet", &cl.bQuiet},    {"-q", &cl.bQuiet},
        {"--verbose", &cl.bVerbose}, {"-v", &cl.bVerbose},       {"--recursive", &cl.bRecursive},
        {"-r", &cl.bRecursive},      {"--version", &cl.bVersion}};
    std::vector<std::string> positional;
    positional.reserve(static_cast<size_t>(argc));
    bool bOptionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string strArg = argv[i];
        // Single-dash options are only these few letters, so "-" and "-5" stay arguments.
        const bool bShort =
            strArg == "-h" || strArg == "-q" || strArg == "-v" || strArg == "-r" || strArg == "-@";
        if (bOptionsEnded || (!bShort && (strArg.size() < 2 || strArg.compare(0, 2, "--") != 0))) {
            positional.push_back(std::move(strArg));
            continue;
        }
        if (strArg == "--") {
            bOptionsEnded = true;
            continue;
        }
        std::string strName = strArg;
        std::optional<std::string> value;
        if (size_t eq = strArg.find('='); !bShort && eq != std::string::npos) {
            strName = strArg.substr(0, eq);
            value = strArg.substr(eq + 1);
        }
        const bool bText = valuedText.count(strName) != 0;
        if (bText || valued.count(strName)) {
            if (!value) {
                if (i + 1 >= argc) throw CUsageError("option " + strName + " needs a value");
                value = argv[++i];
            }
            if (value->empty()) throw CUsageError("option " + strName + " needs a value");
            if (bText)
                *valuedText.at(strName) = *value;
            else
                *valued.at(strName) = *value;
            if (strName == "--module") cl.bModuleGiven = true;
            if (strName == "--data") cl.bDataGiven = true;
            if (strName == "-@") cl.listFiles.push_back(*value);
            if (strName == "--log") {
                cl.bLogGiven = true;
                if (*value == "-")
                    cl.options.bLogToStderr = true;
                else
                    cl.options.logFile = *value;
            }
            continue;
        }
        if (auto it = flags.find(strName); it != flags.end()) {
            if (value) throw CUsageError("option " + strName + " takes no value");
            *it->second = true;
            continue;
        }
        throw CUsageError("unknown option " + strName);
    }
    if (!strExtensions.empty() && !ParseExtensionList(strExtensions, cl.extensions))
        throw CUsageError("--ext takes extensions separated by commas, e.g. --ext jpg,tif");
    if (cl.bJson && cl.bCsv) throw CUsageError("give either --json or --csv, not both");
    if (cl.bVerbose) cl.options.bLogToStderr = true;
    if (!positional.empty()) {
        cl.strCommand = positional.front();
        cl.args.assign(std::make_move_iterator(positional.begin() + 1),
                       std::make_move_iterator(positional.end()));
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
        // Installed, the module sits in lib/locanym/ beside bin/; in the build folder and in
        // an unpacked copy it sits beside the program.
        const fs::path installed =
            (folder / kInstalledModuleFolder / kModuleFileName).lexically_normal();
        const fs::path beside = folder / kModuleFileName;
        std::error_code ec;
        cl.options.module = fs::exists(installed, ec) ? installed : beside;
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
    if (!cl.bLogGiven) cl.options.logFile = cl.options.dataFolder / kLogFileName;
    std::error_code ec;
    for (fs::path* pPath : {&cl.options.dataFolder, &cl.options.showPath, &cl.options.logFile}) {
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
            {"caption", m_cl.listFiles.empty() ? 1u : 0u, SIZE_MAX, "caption PATH...",
             &CHost::Caption},
            {"settings", 0, 0, "settings", &CHost::Settings},
            {"set", 2, 2, "set KEY VALUE", &CHost::Set},
            {"unset", 1, 1, "unset KEY", &CHost::Unset},
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
        // The default log lives in the data folder; a command that did not need the folder
        // does not create it for its log.
        std::error_code ec;
        if (!m_cl.bLogGiven && !fs::is_directory(m_cl.options.dataFolder, ec))
            m_cl.options.logFile.clear();
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

    // The value the plug-in would load for a key of its table: the stored one, else the
    // default. Texts in their stored form.
    std::wstring EffectiveValue(const std::string& strKey) {
        std::string strNote;
        for (const SSettingKey& key : SettingKeys()) {
            if (WideToUtf8(key.pszKey) != strKey) continue;
            if (key.eKind == ESettingKind::kInt) {
                int32_t nValue = key.nDefault;
                m_settings.GetInt(kSection, strKey, nValue, strNote);
                return std::to_wstring(nValue);
            }
            std::wstring strValue = key.pszDefault;
            m_settings.GetText(kSection, strKey, strValue, strNote);
            return strValue;
        }
        return std::wstring();
    }

    // The captions in the cache were made with other settings: delete every cache file of the
    // data folder, as the settings dialog does when it changes such a setting.
    void EmptyCaptionCache(const std::string& strKey) {
        std::error_code ec;
        size_t nRemoved = 0;
        std::vector<fs::path> files;
        for (fs::directory_iterator it(m_cl.options.dataFolder, ec);
             !ec && it != fs::directory_iterator(); it.increment(ec)) {
            if (IsCacheFileName(Utf8ToWide(it->path().filename().string())))
                files.push_back(it->path());
        }
        for (const fs::path& file : files) {
            std::error_code removeError;
            if (fs::remove(file, removeError))
                ++nRemoved;
            else if (removeError)
                m_console.Note("cannot delete the cache file " + file.string() + ": " +
                               removeError.message());
        }
        if (nRemoved)
            m_console.Note(strKey + " shapes the captions: emptied the cache in " +
                           m_cl.options.dataFolder.string() +
                           ", so every photo is looked up again with the new setting");
    }

    // Loads the settings under the data folder's lock, applies fnChange, saves, and empties
    // the cache when a caption-shaping value changed.
    template <class FnChange>
    int ChangeSetting(const std::string& strKey, FnChange fnChange) {
        std::string strError;
        CFolderLock lock;
        if (!PrepareWritableFolder(m_cl.options.dataFolder, strError) ||
            !lock.Lock(m_cl.options.dataFolder, strError) || !m_settings.Load(strError))
            return Fail(strError);
        const bool bShapes = SettingShapesCaption(strKey);
        const std::wstring strBefore = bShapes ? EffectiveValue(strKey) : std::wstring();
        if (!fnChange()) return kExitOk;
        if (!m_settings.Save(strError)) return Fail(strError);
        if (bShapes && EffectiveValue(strKey) != strBefore) EmptyCaptionCache(strKey);
        return kExitOk;
    }

    int UnknownKey(const std::string& strKey) {
        const std::string strClosest = ClosestSettingKey(strKey);
        return Fail("the plug-in reads no setting \"" + strKey + "\"" +
                    (strClosest.empty() ? "" : " (did you mean " + strClosest + "?)") +
                    "; locanym-host settings lists the keys");
    }

    int Set() {
        const std::string& strKey = m_cl.args[0];
        const std::string& strValue = m_cl.args[1];
        if (strKey.empty()) throw CUsageError("KEY must not be empty");
        if (!IsValidUtf8(strKey) || !IsValidUtf8(strValue))
            return Fail("KEY and VALUE must be UTF-8 text");
        const std::vector<std::string> known = KnownSettingKeys();
        if (std::find(known.begin(), known.end(), strKey) == known.end()) return UnknownKey(strKey);
        bool bInteger = false;
        std::string strError;
        if (!CheckSettingValue(strKey, strValue, bInteger, strError)) return Fail(strError);
        return ChangeSetting(strKey, [&]() {
            if (bInteger) {
                int32_t nValue = 0;
                ParseInt32(strValue, nValue);
                m_settings.SetInt(kSection, strKey, nValue);
                return true;
            }
            std::wstring strStored = Utf8ToWide(strValue);
            // The plug-in decodes the separator's escapes and quotes on load; stored encoded, it
            // comes back exactly as typed.
            for (const SSettingKey& key : SettingKeys())
                if (WideToUtf8(key.pszKey) == strKey && key.eKind == ESettingKind::kEscapedText)
                    EscapeText(strStored, true);
            m_settings.SetText(kSection, strKey, strStored);
            return true;
        });
    }

    int Unset() {
        const std::string& strKey = m_cl.args[0];
        if (strKey.empty()) throw CUsageError("KEY must not be empty");
        const std::vector<std::string> known = KnownSettingKeys();
        const bool bKnown = std::find(known.begin(), known.end(), strKey) != known.end();
        bool bRemoved = false;
        const int nExit = ChangeSetting(strKey, [&]() {
            bRemoved = m_settings.Remove(kSection, strKey);
            return bRemoved;
        });
        if (nExit != kExitOk || bRemoved) return nExit;
        // Stray keys stored by hand or by older versions can be removed; a typo cannot.
        if (!bKnown) return UnknownKey(strKey);
        m_console.Note("setting \"" + strKey + "\" was not stored; nothing changed");
        return kExitOk;
    }

    // The X11 window the dialog should stand over: the terminal's, which terminal emulators
    // name in WINDOWID. 0 (no parent) when it is unset or not a number.
    static uintptr_t ParentWindow() {
        const std::string strId = EnvironmentValue("WINDOWID");
        uintptr_t nId = 0;
        const auto [pEnd, ec] = std::from_chars(strId.data(), strId.data() + strId.size(), nId);
        return ec == std::errc() && pEnd == strId.data() + strId.size() ? nId : 0;
    }

    int Configure() {
        if (!LOCANYM_HAS_DIALOGS) {
            m_console.Note(
                "this build of Locanym has no settings dialog; change settings with "
                "locanym-host set KEY VALUE (locanym-host settings shows them, "
                "locanym-host --help lists the keys)");
            return kExitUsage;
        }
        std::string strError;
        if (!OpenStorage(strError) || !OpenSession(strError)) return Fail(strError);
        m_pSession->Initialise();
        m_pSession->Send(kMsgLoadSettings);
        const bool bConfirmed = m_pSession->Send(kMsgConfigure, ParentWindow()) == 1;
        // A key stored with the key dialog takes effect at once, also when the settings dialog
        // is then cancelled; the plug-in reports it as a change, and it is saved like one.
        if (!bConfirmed && m_pSession->Send(kMsgSettingsChanged) != 1) {
            std::printf("The settings dialog was cancelled; nothing changed.\n");
            return kExitOk;
        }
        m_pSession->Send(kMsgSaveSettings);
        if (!m_pSession->SettingsSaved()) return kExitFailure;
        std::printf(bConfirmed
                        ? "Settings confirmed and saved to %s\n"
                        : "Settings dialog cancelled; the API key stored in it was saved to %s\n",
                    m_settings.File().string().c_str());
        return kExitOk;
    }

    int Caption();

    SCommandLine& m_cl;
    CConsole m_console;
    CHostSettings m_settings;
    std::unique_ptr<CHostSession> m_pSession;
};

// True for a full path that is its own normal form: no "." or ".." part, no doubled or
// trailing separator. Photos named by a folder come so, and making the normal form of a path
// costs more than finding the photo in the cache.
bool IsPlainFullPath(std::string_view path) {
    if constexpr (fs::path::preferred_separator != '/') return false;
    if (path.empty() || path[0] != '/') return false;
    for (size_t nStart = 1; nStart <= path.size();) {
        size_t nEnd = path.find('/', nStart);
        if (nEnd == std::string_view::npos) nEnd = path.size();
        const std::string_view part = path.substr(nStart, nEnd - nStart);
        if (part.empty() || part == "." || part == "..") return false;
        nStart = nEnd + 1;
    }
    return true;
}

// Interrupt protocol: the watcher may send the stop message only while message 19 runs, and the
// main thread leaves message 19 under the same lock, so no other message ever overlaps it.
struct SInterruptState {
    std::atomic<bool> bInterrupted{false};
    std::mutex mutex;
    bool bInPhoto = false;
    // Set while the photos are captioned. The quitting flush holds sessionMutex while it uses
    // the session, and the session is forgotten under it, so it is never flushed once gone.
    std::mutex sessionMutex;
    CHostSession* pSession = nullptr;
};

// Quitting at once still writes the log lines and captions held back, unless that takes long:
// a standard output that nobody reads must not keep the process alive.
constexpr std::chrono::milliseconds kQuitFlushWait{500};

int CHost::Caption() {
    static SInterruptState state;
    WatchForInterrupt(
        [this]() {
            state.bInterrupted = true;
            m_console.Note("stopping after this photo (press Ctrl-C again to quit at once)");
            std::lock_guard<std::mutex> lock(state.mutex);
            if (state.bInPhoto && m_pSession) m_pSession->SendStopFlag();
        },
        []() {
            auto pDone = std::make_shared<std::promise<void>>();
            std::future<void> done = pDone->get_future();
            std::thread([pDone]() {
                {
                    std::lock_guard<std::mutex> lock(state.sessionMutex);
                    if (state.pSession) state.pSession->Flush();
                }
                pDone->set_value();
            }).detach();
            done.wait_for(kQuitFlushWait);
        });

    CPhotoList list(m_cl.extensions, m_cl.bRecursive);
    // The arguments are the show's photos and serve nothing else: they move into the list.
    for (std::string& strArg : m_cl.args) list.AddArgument(std::move(strArg));
    for (const std::string& strListFile : m_cl.listFiles) {
        if (strListFile == "-") {
            list.AddList(std::cin);
            continue;
        }
        std::string strContent, strError;
        bool bMissing = false;
        if (!ReadRegularFile(strListFile, strContent, bMissing, strError) || bMissing)
            return Fail(bMissing ? "list of photos " + strListFile + " not found" : strError);
        std::istringstream in(strContent);
        list.AddList(in);
    }

    std::string strError;
    if (!OpenStorage(strError)) return Fail(strError);
    // The plug-in reads and replaces its cache file; refuse what is no regular file before a
    // read of it could hang the show.
    const fs::path cacheFile = WideToUtf8(MakeCacheFilePath(
        Utf8ToWide(m_cl.options.dataFolder.string()), Utf8ToWide(m_cl.options.showPath.string())));
    if (!IsRegularOrMissing(cacheFile, strError)) return Fail("cache file: " + strError);
    if (!OpenSession(strError)) return Fail(strError);
    CHostSession& session = *m_pSession;
    {
        std::lock_guard<std::mutex> lock(state.sessionMutex);
        state.pSession = &session;
    }
    // From here on every way out of this function leaves the session; none may be forgotten.
    struct SForget {
        ~SForget() {
            std::lock_guard<std::mutex> lock(state.sessionMutex);
            state.pSession = nullptr;
        }
    } forget;
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

    CRunTally tally;
    for (const std::string& strFolderError : list.Errors()) {
        m_console.Note(strFolderError);
        tally.Add(EPhotoStatus::kUnreadable);
    }
    if (m_cl.bCsv) std::printf("SourceFile,%s\n", CsvField(m_cl.strCsvTag).c_str());

    KeepRunningWhenOutputCloses();
    // The host hands over full paths (the cache knows photos by them); the current folder is
    // asked once, not once a photo.
    const fs::path currentFolder = CurrentFolder();
    session.Send(kMsgStart, 0, 1);
    const std::vector<std::string>& photos = list.Photos();
    const size_t nCount = photos.size();
    CPhotoTrace trace;
    std::string strLine;      // a caption's output line; its room serves the next
    std::wstring strWideArg;  // the photo's path as the module gets it; its room serves the next
    // Whether standard error is a terminal is known once for the whole show.
    const bool bProgress = !m_cl.bQuiet && m_console.ShowsProgress();
    bool bOutputLost = false;
    for (size_t i = 0; i < nCount && !state.bInterrupted; ++i) {
        const std::string& strArg = photos[i];
        if (bProgress)
            m_console.Progress("[" + std::to_string(i + 1) + "/" + std::to_string(nCount) + "] " +
                               fs::path(strArg).filename().string());
        // The module's answer, valid until the next message.
        std::optional<std::wstring_view> caption;
        EPhotoStatus eStatus = EPhotoStatus::kUnreadable;
        std::wstring strProblem;
        Utf8ToWideTo(strArg, strWideArg);
        const bool bUtf8 = IsValidUtf8(strArg);
        if (!bUtf8) {
            strProblem = L"the path is not UTF-8 text";
        } else {
            std::wstring strNormal;
            if (!IsPlainFullPath(strArg)) {
                fs::path path = strArg;
                if (path.is_relative() && !currentFolder.empty()) path = currentFolder / path;
                strNormal = Utf8ToWide(path.lexically_normal().string());
            }
            const std::wstring& strPath = strNormal.empty() ? strWideArg : strNormal;
            {
                std::lock_guard<std::mutex> lock(state.mutex);
                state.bInPhoto = true;
            }
            trace.Clear();
            session.TracePhoto(&trace);
            uintptr_t result = 0;
            if (!state.bInterrupted)
                result =
                    session.Send(kMsgProcessPhoto, reinterpret_cast<uintptr_t>(strPath.c_str()));
            session.TracePhoto(nullptr);
            {
                std::lock_guard<std::mutex> lock(state.mutex);
                state.bInPhoto = false;
            }
            const auto* pszAnswer = reinterpret_cast<const wchar_t*>(result);
            eStatus = trace.Classify(pszAnswer, strProblem);
            if (eStatus == EPhotoStatus::kOk || eStatus == EPhotoStatus::kCached)
                caption = std::wstring_view(pszAnswer);
            if (eStatus == EPhotoStatus::kUnreadable) {
                // Only now, for a photo that failed, is the file looked at to say why.
                std::error_code ec;
                const fs::file_status st = fs::status(strArg, ec);
                if (!fs::exists(st))
                    strProblem = L"no such file";
                else if (fs::is_directory(st))
                    strProblem = L"it is a folder";
            }
        }
        tally.Add(eStatus);
        if (bProgress) m_console.Progress("");
        if (eStatus == EPhotoStatus::kUnreadable) {
            m_console.Note("cannot read " + strArg + ": " + WideToUtf8(strProblem));
        } else if (eStatus == EPhotoStatus::kLookupFailed) {
            m_console.Note(
                "no caption for " + strArg +
                ": the place lookup failed: " + EscapeForLine(strProblem) +
                (bErrMsg ? "" : " (locanym-host set ErrMsg 1 shows the service's text)"));
        }
        if (m_cl.bJson) {
            std::string strLine = "{\"path\": " + JsonQuoteBytes(strArg) + ", \"status\": \"" +
                                  PhotoStatusName(eStatus) + "\", \"caption\": " +
                                  (caption ? JsonQuote(std::wstring(*caption)) : "null");
            if (!strProblem.empty()) strLine += ", \"error\": " + JsonQuote(strProblem);
            std::printf("%s}\n", strLine.c_str());
        } else if (m_cl.bCsv) {
            // Only captions go to the CSV: exiftool writes every row it is given into the photo.
            if (caption)
                std::printf("%s,%s\n", CsvField(strArg).c_str(),
                            CsvField(WideToUtf8(*caption)).c_str());
        } else {
            strLine.clear();
            if (bUtf8 && IsPlainForLine(strArg))
                strLine += strArg;
            else
                AppendEscapedForLine(strLine, strWideArg);
            strLine += '\t';
            if (caption) AppendEscapedForLine(strLine, *caption);
            strLine += '\n';
            std::fwrite(strLine.data(), 1, strLine.size(), stdout);
        }
        // The captions reach standard output with the log: whenever the session writes it
        // through (a request, an error, the stop), and at exit. Once they cannot be written
        // (the reader of a pipe has gone) the show stops as after Ctrl-C: the cache is saved.
        if (std::ferror(stdout)) {
            bOutputLost = true;
            break;
        }
    }
    // A full stop saves the cache, also after an interruption.
    session.Send(kMsgStop, 0, 1);
    if (!m_cl.bQuiet) m_console.Note(tally.Summary());
    if (state.bInterrupted) return kExitInterrupted;
    if (bOutputLost || std::fflush(stdout) != 0 || std::ferror(stdout))
        return Fail("cannot write the captions to standard output; stopped after " +
                    std::to_string(tally.Total()) + " of " + std::to_string(nCount) + " photos");
    return session.SettingsSaved() ? tally.ExitStatus() : kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        SCommandLine cl = ParseCommandLine(argc, argv);
        if (cl.bVersion) {
            std::printf("locanym-host %s\n", LOCANYM_VERSION);
            return kExitOk;
        }
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
