#include "host/host_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <vector>

#include "tests/host_test_util.h"

namespace fs = std::filesystem;
using host_test::CScratchDir;

namespace {

const wchar_t kSection[] = L"LocanymPlugIn";

// A record as the plug-in fills it for a read.
struct SRead {
    SLD_PROFILE_RECORD record{};
    std::wstring strKey, strDefault;
    std::vector<wchar_t> buffer;

    SRead(std::wstring key, int32_t nDefault) : strKey(std::move(key)) {
        record.section = reinterpret_cast<uintptr_t>(kSection);
        record.key = reinterpret_cast<uintptr_t>(strKey.c_str());
        record.type = kProfileInt;
        record.def = static_cast<uint32_t>(nDefault);
    }
    SRead(std::wstring key, std::wstring def, int32_t nCapacity = kProfileTextCapacity,
          size_t nBufferChars = 1100)
        : strKey(std::move(key)), strDefault(std::move(def)), buffer(nBufferChars, L'Z') {
        record.section = reinterpret_cast<uintptr_t>(kSection);
        record.key = reinterpret_cast<uintptr_t>(strKey.c_str());
        record.type = kProfileText;
        record.value = reinterpret_cast<uintptr_t>(buffer.data());
        record.def = reinterpret_cast<uintptr_t>(strDefault.c_str());
        record.capacity = nCapacity;
    }
};

void Write(CHostSettings& settings, const std::wstring& strKey, const std::wstring& strValue) {
    SLD_PROFILE_RECORD record{};
    record.section = reinterpret_cast<uintptr_t>(kSection);
    record.key = reinterpret_cast<uintptr_t>(strKey.c_str());
    record.type = kProfileText;
    record.value = reinterpret_cast<uintptr_t>(strValue.c_str());
    std::string strNote;
    settings.TakeWrite(record, strNote);
    EXPECT_EQ(strNote, "");
}

void WriteInt(CHostSettings& settings, const std::wstring& strKey, int32_t nValue) {
    SLD_PROFILE_RECORD record{};
    record.section = reinterpret_cast<uintptr_t>(kSection);
    record.key = reinterpret_cast<uintptr_t>(strKey.c_str());
    record.type = kProfileInt;
    record.value = static_cast<uint32_t>(nValue);
    std::string strNote;
    settings.TakeWrite(record, strNote);
}

CHostSettings Reloaded(const fs::path& file) {
    CHostSettings settings(file);
    std::string strError;
    EXPECT_TRUE(settings.Load(strError)) << strError;
    return settings;
}

}  // namespace

// Whatever the plug-in writes comes back unchanged from the file, including characters JSON
// strings cannot carry on their own.
TEST(HostSettings, TextsAndIntegersSurviveTheFile) {
    CScratchDir dir;
    const fs::path file = dir.Path() / "settings.json";
    const std::vector<std::wstring> texts = {
        L"",
        L"%C (%D)",
        L"line\nfeed\rreturn\x7F",
        std::wstring(1, static_cast<wchar_t>(0xD800)) + L"lone surrogate",
        std::wstring(L"beyond ") + static_cast<wchar_t>(0x110000),
        std::wstring(3000, L'x'),
    };
    const std::vector<int32_t> ints = {0, 1, -1, INT_MIN, INT_MAX};
    {
        CHostSettings settings(file);
        std::string strError;
        ASSERT_TRUE(settings.Load(strError)) << strError;
        for (size_t i = 0; i < texts.size(); ++i)
            Write(settings, L"T" + std::to_wstring(i), texts[i]);
        for (size_t i = 0; i < ints.size(); ++i)
            WriteInt(settings, L"I" + std::to_wstring(i), ints[i]);
        ASSERT_TRUE(settings.Save(strError)) << strError;
    }
    CHostSettings settings = Reloaded(file);
    for (size_t i = 0; i < texts.size(); ++i) {
        std::wstring strValue;
        std::string strNote;
        EXPECT_TRUE(settings.GetText("LocanymPlugIn", "T" + std::to_string(i), strValue, strNote));
        EXPECT_EQ(strValue, texts[i]) << "text " << i;
    }
    for (size_t i = 0; i < ints.size(); ++i) {
        SRead read(L"I" + std::to_wstring(i), 77);
        read.record.value = 0xFFFFFFFFFFFFFFFFull;
        bool bStored = false;
        std::string strNote;
        settings.AnswerRead(read.record, bStored, strNote);
        EXPECT_TRUE(bStored);
        EXPECT_EQ(read.record.value, static_cast<uint32_t>(ints[i])) << "int " << i;
    }
    // Plain texts stay readable in the file.
    EXPECT_NE(ReadFileBytes(file).find("\"%C (%D)\""), std::string::npos);
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the file holds API keys";
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        EXPECT_EQ(entry.path().filename(), "settings.json") << "no temporary file is left";
}

// A text read never writes past capacity characters and its NUL, and always ends with a NUL.
TEST(HostSettings, TextReadHonoursCapacity) {
    CScratchDir dir;
    struct SCase {
        size_t nLength;
        int32_t nCapacity;
    } cases[] = {{1023, 1023}, {1024, 1023}, {4, 0}};
    for (const SCase& c : cases) {
        CHostSettings settings = Reloaded(dir.Path() / "settings.json");
        const std::wstring strStored(c.nLength, L'v');
        Write(settings, L"Format", strStored);
        SRead read(L"Format", L"%A", c.nCapacity);
        bool bStored = false;
        std::string strNote;
        settings.AnswerRead(read.record, bStored, strNote);
        const size_t nExpected = std::min<size_t>(c.nLength, c.nCapacity);
        EXPECT_EQ(std::wstring(read.buffer.data()), strStored.substr(0, nExpected));
        for (size_t i = nExpected + 1; i < read.buffer.size(); ++i)
            ASSERT_EQ(read.buffer[i], L'Z') << "written past the end at " << i << ", length "
                                            << c.nLength << ", capacity " << c.nCapacity;
        EXPECT_EQ(strNote.empty(), c.nLength <= static_cast<size_t>(c.nCapacity));
    }
}

// A key that holds nothing usable is answered with the record's default; a value of another
// kind is converted where that is unambiguous.
TEST(HostSettings, MissingOrMismatchedKeysAnswerTheDefault) {
    CScratchDir dir;
    const fs::path file = dir.Path() / "settings.json";
    WriteFileBytes(file, R"({"LocanymPlugIn": {"NumText": "12", "Word": "abc", "Half": 1.5,
                        "Number": 42, "Flag": true, "Codes": [0, 65], "Big": 4294967296}})");
    CHostSettings settings = Reloaded(file);
    struct SIntCase {
        const wchar_t* pszKey;
        int32_t nExpected;
        bool bStored;
    } ints[] = {{L"Missing", -7, false},
                {L"NumText", 12, true},
                {L"Half", -7, false},
                {L"Flag", 1, true},
                {L"Big", -7, false}};
    for (const SIntCase& c : ints) {
        SRead read(c.pszKey, -7);
        bool bStored = true;
        std::string strNote;
        settings.AnswerRead(read.record, bStored, strNote);
        EXPECT_EQ(read.record.value, static_cast<uint32_t>(c.nExpected)) << c.pszKey;
        EXPECT_EQ(bStored, c.bStored) << c.pszKey;
    }
    struct STextCase {
        const wchar_t* pszKey;
        const wchar_t* pszExpected;
        bool bStored;
        bool bNote;  // a value of the wrong kind is worth a remark; a missing one is not
    } texts[] = {{L"Missing", L"\", \"", false, false},
                 {L"Number", L"42", true, false},
                 {L"Flag", L"\", \"", false, true},
                 {L"Codes", L"\", \"", false, true}};
    for (const STextCase& c : texts) {
        SRead read(c.pszKey, L"\", \"");
        bool bStored = true;
        std::string strNote;
        settings.AnswerRead(read.record, bStored, strNote);
        EXPECT_EQ(std::wstring(read.buffer.data()), c.pszExpected) << c.pszKey;
        EXPECT_EQ(bStored, c.bStored) << c.pszKey;
        EXPECT_EQ(!strNote.empty(), c.bNote) << c.pszKey;
    }
    SRead noDefault(L"Missing", L"");
    noDefault.record.def = 0;
    bool bStored = true;
    std::string strNote;
    settings.AnswerRead(noDefault.record, bStored, strNote);
    EXPECT_EQ(noDefault.buffer[0], L'\0');
}
