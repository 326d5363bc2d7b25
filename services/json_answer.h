// Reading a service's JSON answer without letting any JsonCpp exception out: a member of an
// unexpected type reads like an absent one.
//
// A service lists once, next to its reading code, the names of the members it reads at any
// depth (SJsonNames); the parse keeps only those, and the service reads the tree through a
// CJsonView of the same list, which takes only listed names: a name read but not listed does
// not compile.
#pragma once

#include <json/value.h>

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

using CJsonNameSpan = std::span<const std::string_view>;

template <size_t N>
struct SJsonNames {
    std::string_view m_names[N];

    constexpr bool Lists(std::string_view strName) const {
        for (std::string_view strListed : m_names) {
            if (strListed == strName) return true;
        }
        return false;
    }
    constexpr CJsonNameSpan Span() const { return CJsonNameSpan(m_names, N); }
};
template <class... T>
SJsonNames(const T&...) -> SJsonNames<sizeof...(T)>;

// Both lists in one, for a service that reads a shared frame and members of its own.
template <size_t A, size_t B>
consteval SJsonNames<A + B> JoinJsonNames(const SJsonNames<A>& first, const SJsonNames<B>& second) {
    SJsonNames<A + B> joined{};
    for (size_t i = 0; i < A; ++i) joined.m_names[i] = first.m_names[i];
    for (size_t i = 0; i < B; ++i) joined.m_names[A + i] = second.m_names[i];
    return joined;
}

// True when every name of subset is in names.
template <size_t A, size_t B>
consteval bool JsonNamesInclude(const SJsonNames<A>& names, const SJsonNames<B>& subset) {
    for (std::string_view strName : subset.m_names) {
        if (!names.Lists(strName)) return false;
    }
    return true;
}

// Never defined: a CJsonName of an unlisted name calls it at compile time, which fails there.
void JsonMemberNameIsNotInTheList();

// A member name of the list kNames, checked when the program is compiled.
template <const auto& kNames>
class CJsonName {
  public:
    consteval CJsonName(const char* pszName) : m_strName(pszName) {
        if (!kNames.Lists(m_strName)) JsonMemberNameIsNotInTheList();
    }
    constexpr std::string_view Text() const { return m_strName; }

  private:
    std::string_view m_strName;
};

// Parses the answer (comments allowed, whatever follows the root value ignored). False, never
// an exception, when it is no JSON or nests 1,000 levels deep; root is then null. Every value
// is checked, but objects and arrays are filled only as deep as the services read: the root,
// its members and their members, and the members of each element of an array that is a member
// of the root (root.list[i].name). Deeper objects and arrays are present but empty, so they
// read like other members of an unexpected type. Of the members of an object only those named
// in names are kept; the others read as absent.
bool ParseJsonAnswer(const std::string& strAnswer, CJsonNameSpan names, Json::Value& root);
// The same keeping every member.
bool ParseJsonAnswer(const std::string& strAnswer, Json::Value& root);

// The member of obj, or a null value when obj is no object or has no such member.
const Json::Value& JsonMember(const Json::Value& obj, std::string_view strName);
// True when obj is an object whose member is present and not null.
bool JsonHasMember(const Json::Value& obj, std::string_view strName);
// The member as wide text (decoded as UTF-8, up to a zero character); empty when it is absent,
// null or no string, or when obj is no object.
std::wstring JsonText(const Json::Value& obj, std::string_view strName);

// A value of a tree parsed with the list kNames, read by the names of that list only. It refers
// to the tree, which must outlive it.
template <const auto& kNames>
class CJsonView {
  public:
    using CName = CJsonName<kNames>;

    explicit CJsonView(const Json::Value& value) : m_pValue(&value) {}

    CJsonView Member(CName name) const { return CJsonView(JsonMember(*m_pValue, name.Text())); }
    bool Has(CName name) const { return JsonHasMember(*m_pValue, name.Text()); }
    std::wstring Text(CName name) const { return JsonText(*m_pValue, name.Text()); }
    // The first non-empty text of the members named in kSubset, in its order; every name of
    // kSubset must be in kNames.
    template <const auto& kSubset>
    std::wstring FirstText() const {
        static_assert(JsonNamesInclude(kNames, kSubset), "a name of the subset is not listed");
        for (std::string_view strName : kSubset.m_names) {
            std::wstring strText = JsonText(*m_pValue, strName);
            if (!strText.empty()) return strText;
        }
        return std::wstring();
    }

    bool IsObject() const { return m_pValue->isObject(); }
    bool IsArray() const { return m_pValue->isArray(); }
    bool IsString() const { return m_pValue->isString(); }
    // The number of elements of an array or members of an object; 0 for any other value.
    Json::ArrayIndex Size() const { return m_pValue->size(); }
    // An element of an array (i below Size()).
    CJsonView Element(Json::ArrayIndex i) const { return CJsonView((*m_pValue)[i]); }
    const Json::Value& Value() const { return *m_pValue; }

  private:
    const Json::Value* m_pValue;
};
