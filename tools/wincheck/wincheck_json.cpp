#include <json/json.h>

#include <cstdio>
#include <memory>
#include <string>

// Parses a document shaped like a service's answer, and rejects a broken one with an error text
// instead of an exception.
int main() {
    const std::string strGood =
        R"({"address": {"city": "Paris", "road": "Quai Branly \u00e9"}, "lat": "48.8584",)"
        R"( "results": [1, 2, 3]})";
    const std::string strBad = R"({"address": {"city": "Paris")";

    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string strErrors;
    if (!reader->parse(strGood.data(), strGood.data() + strGood.size(), &root, &strErrors)) {
        std::fprintf(stderr, "wincheck_json: %s\n", strErrors.c_str());
        return 1;
    }
    bool bGood = root["address"]["city"].asString() == "Paris" &&
                 root["address"]["road"].asString() == "Quai Branly \xc3\xa9" &&
                 root["results"].size() == 3 && root["lat"].asString() == "48.8584";

    Json::Value broken;
    std::string strBadErrors;
    bool bBadRejected =
        !reader->parse(strBad.data(), strBad.data() + strBad.size(), &broken, &strBadErrors) &&
        !strBadErrors.empty();

    std::printf("wincheck_json: JsonCpp %s, good %s, broken %s\n", JSONCPP_VERSION_STRING,
                bGood ? "ok" : "WRONG", bBadRejected ? "rejected" : "ACCEPTED");
    return bGood && bBadRejected ? 0 : 1;
}
