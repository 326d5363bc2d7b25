#include "host/host_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <vector>

#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

const wchar_t kSection[] = L"LocanymPlugIn";

// A record of the plug-in's for pszKey (kept by the caller): an integer one when pszDefault is
// null, else a text one reading into buffer with nCapacity characters and pszDefault as default.
SLD_PROFILE_RECORD Record(const wchar_t* pszKey, const wchar_t* pszDefault = nullptr,
                          std::vector<wchar_t>* pBuffer = nullptr,
                          int32_t nCapacity = kProfileTextCapacity) {
    SLD_PROFILE_RECORD record{};
    record.section = reinterpret_cast<uintptr_t>(kSection);
    record.key = reinterpret_cast<uintptr_t>(pszKey);
    record.type = pszDefault ? kProfileText : kProfileInt;
    if (pszDefault) {
        record.def = reinterpret_cast<uintptr_t>(pszDefault);
        record.capacity = nCapacity;
        if (pBuffer) record.value = reinterpret_cast<uintptr_t>(pBuffer->data());
    }
    return record;
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
    CTempDir dir;
    const fs::path file = dir.Path() / "settings.json";
    const std::vector<std::wstring> texts = {
        L"%C (%D)",
        std::wstring(1, static_cast<wchar_t>(0xD800)) + L"lone surrogate",
        std::wstring(L"beyond ") + static_cast<wchar_t>(0x110000),
        std::wstring(3000, L'x'),
    };
    const int32_t ints[] = {0, -1, INT_MIN, INT_MAX};
    std::string strNote, strError;
    {
        CHostSettings settings = Reloaded(file);
        for (size_t i = 0; i < texts.size(); ++i) {
            const std::wstring strText = L"T" + std::to_wstring(i),
                               strInt = L"I" + strText.substr(1);
            SLD_PROFILE_RECORD text = Record(strText.c_str(), L""),
                               integer = Record(strInt.c_str());
            text.value = reinterpret_cast<uintptr_t>(texts[i].c_str());
            integer.value = static_cast<uint32_t>(ints[i]);
            settings.TakeWrite(text, strNote);
            EXPECT_EQ(strNote, "") << "text " << i;
            settings.TakeWrite(integer, strNote);
            EXPECT_EQ(strNote, "") << "int " << i;
        }
        ASSERT_TRUE(settings.Save(strError)) << strError;
    }
    CHostSettings settings = Reloaded(file);
    for (size_t i = 0; i < texts.size(); ++i) {
        std::wstring strValue;
        EXPECT_TRUE(settings.GetText("LocanymPlugIn", "T" + std::to_string(i), strValue, strNote));
        EXPECT_EQ(strValue, texts[i]) << "text " << i;
        const std::wstring strKey = L"I" + std::to_wstring(i);
        SLD_PROFILE_RECORD record = Record(strKey.c_str());
        record.def = 77;
        record.value = 0xFFFFFFFFFFFFFFFFull;
        bool bStored = false;
        settings.AnswerRead(record, bStored, strNote);
        EXPECT_TRUE(bStored);
        EXPECT_EQ(record.value, static_cast<uint32_t>(ints[i])) << "int " << i;
    }
    // Plain texts stay readable in the file, which only its owner may read: it holds API keys.
    EXPECT_NE(ReadFileBytes(file).find("\"%C (%D)\""), std::string::npos);
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        EXPECT_EQ(entry.path().filename(), "settings.json") << "no temporary file is left";
}

// A text read never writes past capacity characters and its NUL, and always ends with a NUL; a
// text record without a default (pszDefault "") reads as empty.
TEST(HostSettings, TextReadHonoursCapacity) {
    CTempDir dir;
    struct SCase {
        size_t nLength;  // of the stored value; none stored when 0
        int32_t nCapacity;
        const wchar_t* pszDefault;
    } cases[] = {{1023, 1023, L"%A"}, {1024, 1023, L"%A"}, {4, 0, L"%A"}, {0, 1023, L""}};
    for (const SCase& c : cases) {
        CHostSettings settings = Reloaded(dir.Path() / (std::to_string(c.nLength) + ".json"));
        const std::wstring strStored(c.nLength, L'v');
        std::string strNote;
        if (c.nLength) {
            SLD_PROFILE_RECORD write = Record(L"Format", L"");
            write.value = reinterpret_cast<uintptr_t>(strStored.c_str());
            settings.TakeWrite(write, strNote);
        }
        std::vector<wchar_t> buffer(1100, L'Z');
        SLD_PROFILE_RECORD record = Record(L"Format", c.pszDefault, &buffer, c.nCapacity);
        if (!*c.pszDefault) record.def = 0;
        bool bStored = false;
        settings.AnswerRead(record, bStored, strNote);
        const size_t nExpected = std::min<size_t>(c.nLength, c.nCapacity);
        EXPECT_EQ(std::wstring(buffer.data()), strStored.substr(0, nExpected));
        for (size_t i = nExpected + 1; i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], L'Z') << "written past the end at " << i << ", length "
                                       << c.nLength << ", capacity " << c.nCapacity;
        EXPECT_EQ(strNote.empty(), c.nLength <= static_cast<size_t>(c.nCapacity));
    }
}
