// The frame shared by LocationIQ and MapsCo, whose answers have one form: an object with
// "display_name" and an "address" object naming the place's parts, or an "error" member.
// A service on this frame says how it reads the error and the address.
#pragma once

#include <json/value.h>

#include "services/json_answer.h"
#include "services/service_catalogue.h"

// The members the frame reads; a service on it joins its own names to these.
inline constexpr SJsonNames kAddressFrameNames{"error", "display_name", "address"};

class CAddressService : public CCataloguedService {
  public:
    // 1 for every object without "error", also one without "address" (only the full address is
    // then set); 0 for no JSON, a root that is no object, or an error answer (its text appended
    // to m_strError, no log line).
    int ReadAnswer(const std::string& strAnswer, CLocationRecord& out) final;

  protected:
    CAddressService(const CPlugInSettings& settings, const std::atomic<int32_t>& stopFlag,
                    EServiceIndex eIndex)
        : CCataloguedService(settings, stopFlag, eIndex) {}

    // The names of every member the service reads, those of kAddressFrameNames among them.
    virtual CJsonNameSpan AnswerNames() const = 0;
    // The text of the root's "error" member (present and not null).
    virtual std::wstring ErrorText(const Json::Value& root) const = 0;
    // Fills location, city, state, country and country code from the "address" member (present
    // and not null, possibly of another type than an object).
    virtual void ReadAddress(const Json::Value& address, CLocationRecord& out) const = 0;
};
