// Reading a service's JSON answer without letting any JsonCpp exception out: a member of an
// unexpected type reads like an absent one.
#pragma once

#include <json/value.h>

#include <string>

// Parses the answer (comments allowed, whatever follows the root value ignored). False, never
// an exception, when it is no JSON or nests 1,000 levels deep; root is then null. Every value
// is checked, but objects and arrays are filled only as deep as the services read: the root,
// its members and their members, and the members of each element of an array that is a member
// of the root (root.list[i].name). Deeper objects and arrays are present but empty, so they
// read like other members of an unexpected type.
bool ParseJsonAnswer(const std::string& strAnswer, Json::Value& root);

// The member of obj, or a null value when obj is no object or has no such member.
const Json::Value& JsonMember(const Json::Value& obj, const char* pszName);
// True when obj is an object whose member is present and not null.
bool JsonHasMember(const Json::Value& obj, const char* pszName);
// The member as wide text (decoded as UTF-8, up to a zero character); empty when it is absent,
// null or no string, or when obj is no object.
std::wstring JsonText(const Json::Value& obj, const char* pszName);
