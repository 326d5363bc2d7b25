#include "services/json_answer.h"

#include <json/reader.h>

#include "base/text.h"

bool ParseJsonAnswer(const std::string& strAnswer, Json::Value& root) {
    try {
        Json::Reader reader;
        return reader.parse(strAnswer.data(), strAnswer.data() + strAnswer.size(), root,
                            /*collectComments=*/false);
    } catch (...) {
        // The reader throws past its nesting limit; such an answer is no answer.
        root = Json::Value();
        return false;
    }
}

const Json::Value& JsonMember(const Json::Value& obj, const char* pszName) {
    static const Json::Value kNull;
    if (!obj.isObject()) return kNull;
    const Json::Value* pMember =
        obj.find(pszName, pszName + std::char_traits<char>::length(pszName));
    return pMember ? *pMember : kNull;
}

bool JsonHasMember(const Json::Value& obj, const char* pszName) {
    return !JsonMember(obj, pszName).isNull();
}

std::wstring JsonText(const Json::Value& obj, const char* pszName) {
    const Json::Value& member = JsonMember(obj, pszName);
    if (!member.isString()) return std::wstring();
    return Utf8ToWide(member.asCString());
}
