// The loopback peer of the HTTP transport tests (http/transport_test.cpp), which run against the
// curl transport in-process on Linux and against the WinINet transport under Wine, where the
// peer is locanym-transport-server beside it. Paths:
//   /crlf             two lines ended by CR LF
//   /zero             "ab", a zero byte, "cd", a line feed, "ef"
//   /long             5000 bytes without a line end
//   /empty            status 200, no body
//   /long-error       status 500, 3000 characters of three UTF-8 bytes each
//   /status/NNN       status NNN with a short JSON body
//   /echo             the request line's version and headers, one per line
//   /stall-mid        a first line, then nothing
//   /stall-before     nothing at all
//   /trickle          a hundred blanks, one every 100 ms
//   /redirect-loop    a redirect to itself, for ever (WinINet under Wine follows it until the
//                     attempt's time limit, so only the curl transport's test asks for it)
#pragma once

#include <string>

#include "tests/support/loopback_server.h"

SLoopbackAnswer TransportPeerAnswer(const SLoopbackRequest& request);

// Given by the test file of each transport (http_curl_test.cpp, http_wininet_test.cpp).
// The peer's base URLs, http and https; empty when there is none (the tests skip). The https
// peer's certificate is trusted from TrustTransportPeer on.
std::wstring TransportPeerUrl();
std::wstring TransportPeerHttpsUrl();
// Makes the transport trust the HTTPS peer's certificate; false when it cannot.
bool TrustTransportPeer();
// After TrustTransportPeer: an https URL of the peer whose certificate the transport now
// refuses (curl: the CA is no longer configured; WinINet: the name does not match).
std::wstring UntrustedTransportPeerUrl();
