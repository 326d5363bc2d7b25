// The reference host's settings storage: one JSON file, an object of sections, each an object of
// keys. Integers are stored as JSON numbers, texts as JSON strings; a text that JSON cannot hold
// exactly (a wide character that is no Unicode scalar value) is stored as an array of its
// character codes, so that every text comes back as it was written.
#pragma once

#include <json/json.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "base/host_api.h"

class CHostSettings {
  public:
    explicit CHostSettings(std::filesystem::path file) : m_file(std::move(file)) {}

    const std::filesystem::path& File() const { return m_file; }

    // Reads the file; a missing or blank file is an empty storage. False with the reason in
    // strError when the file cannot be read or does not hold settings: the storage then stays
    // unloaded and Save refuses, so a damaged file is never replaced behind the user's back.
    bool Load(std::string& strError);
    bool IsLoaded() const { return m_bLoaded; }
    // True when a value was set since the last Load or Save.
    bool IsDirty() const { return m_bDirty; }
    // Writes the whole storage atomically (see WriteFileAtomically).
    bool Save(std::string& strError);

    // Looks a value up. False when the key holds nothing usable; strNote then says why when
    // the key holds a value of the wrong kind.
    bool GetInt(const std::string& strSection, const std::string& strKey, int32_t& nValue,
                std::string& strNote) const;
    bool GetText(const std::string& strSection, const std::string& strKey, std::wstring& strValue,
                 std::string& strNote) const;
    bool Has(const std::string& strSection, const std::string& strKey) const;
    void SetInt(const std::string& strSection, const std::string& strKey, int32_t nValue);
    void SetText(const std::string& strSection, const std::string& strKey,
                 const std::wstring& strValue);
    // Removes a stored value; false when the key held none.
    bool Remove(const std::string& strSection, const std::string& strKey);

    // Callback code 6: fills the record's value from storage, or with the record's default
    // when the key holds nothing. A text is cut at the record's capacity and always ends with
    // a NUL, which the plug-in's buffer has room for after capacity characters. bStored says
    // whether the answer came from storage.
    void AnswerRead(SLD_PROFILE_RECORD& record, bool& bStored, std::string& strNote) const;
    // Callback code 5: stores the record's value.
    void TakeWrite(const SLD_PROFILE_RECORD& record, std::string& strNote);

  private:
    const Json::Value* Find(const std::string& strSection, const std::string& strKey) const;

    std::filesystem::path m_file;
    Json::Value m_root{Json::objectValue};
    bool m_bLoaded = false;
    bool m_bDirty = false;
};

// Text the plug-in passed by address, or empty for a null address.
std::wstring WideTextAt(uint64_t address);
// A decimal 32-bit integer with an optional sign and nothing else around it.
bool ParseInt32(std::string_view strText, int32_t& nValue);
