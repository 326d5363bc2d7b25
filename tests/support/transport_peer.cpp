#include "tests/support/transport_peer.h"

#include <cstdlib>

SLoopbackAnswer TransportPeerAnswer(const SLoopbackRequest& request) {
    const std::string& strPath = request.strPath;
    if (strPath == "/crlf") return JsonAnswer("line one\r\nline two\r\n");
    if (strPath == "/zero") return JsonAnswer(std::string("ab\0cd\nef", 8));
    if (strPath == "/long") return JsonAnswer(std::string(5000, 'x'));
    if (strPath == "/empty") return JsonAnswer("");
    if (strPath == "/long-error") {
        std::string strBody;
        for (int i = 0; i < 3000; ++i) strBody += "\xe6\x9d\xb1";  // three bytes each
        return JsonAnswer(strBody, 500);
    }
    if (strPath.rfind("/status/", 0) == 0) {
        const int nStatus = std::atoi(strPath.c_str() + 8);
        return JsonAnswer("{\"status\": " + std::to_string(nStatus) + "}", nStatus);
    }
    if (strPath == "/echo") {
        std::string strBody = request.strVersion + "\n";
        for (const auto& [strName, strValue] : request.headers)
            strBody += strName + ": " + strValue + "\n";
        return JsonAnswer(strBody);
    }
    SLoopbackAnswer answer = JsonAnswer("first line\n" + std::string(3000, 'y'));
    if (strPath == "/stall-mid") {
        answer.eTrouble = ELoopbackTrouble::kStallMidBody;
        answer.nBytesBeforeTrouble = 11;
    } else if (strPath == "/stall-before") {
        answer.eTrouble = ELoopbackTrouble::kStallBeforeAnswer;
    } else if (strPath == "/trickle") {
        answer = JsonAnswer(std::string(100, ' '));
        answer.eTrouble = ELoopbackTrouble::kTrickle;
        answer.nBytesBeforeTrouble = 100;
    } else if (strPath == "/redirect-loop") {
        answer.eTrouble = ELoopbackTrouble::kRedirectLoop;
    } else {
        answer = JsonAnswer("", 404);
    }
    return answer;
}
