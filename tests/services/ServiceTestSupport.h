// Shared pieces of the service tests against the fake client library.
#pragma once

#include "FakeClient.h"
#include "IBErrors.h"
#include "IBServiceManager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace servicetest {

using fakeclient::Bytes;

constexpr int kNotRaised = -1;

// The SQLCode (the kind's ordinal) of the EIBClientError the action raises, or kNotRaised.
template <typename Action>
int ClientErrorOf(Action&& action)
{
    try {
        action();
    } catch (const EIBClientError& error) {
        return error.SQLCode();
    }
    return kNotRaised;
}

// Little-endian 16-bit length, as the blocks carry it.
inline std::string Length16(std::size_t n)
{
    return Bytes({static_cast<int>(n & 0xFF), static_cast<int>((n >> 8) & 0xFF)});
}

// A service set up as the console sets it up before a job.
template <typename Service>
void ConfigureAsConsole(Service& service, const std::string& password = "masterkey")
{
    service.SetServerName("localhost");
    service.SetProtocol(TProtocol::TCP);
    service.Params().SetValue("user_name", "SYSDBA");
    service.Params().SetValue("password", password);
    service.SetLoginPrompt(false);
}

// A line answer: item 62, the 16-bit length, the text, the end marker.
inline std::string LineAnswer(const std::string& text, int marker = isc_info_end)
{
    return std::string(1, static_cast<char>(isc_info_svc_line)) + Length16(text.size()) + text +
           static_cast<char>(marker);
}

// The names of the service calls made since the last reset, in order.
inline std::vector<std::string> ServiceCalls()
{
    std::vector<std::string> names;
    for (const fakeclient::Call& call : fakeclient::Calls())
        if (call.function.starts_with("isc_service_"))
            names.push_back(call.function);
    return names;
}

class FakeClientTest : public testing::Test {
protected:
    void SetUp() override { fakeclient::Reset(); }
    void TearDown() override { fakeclient::Reset(); }
};

}  // namespace servicetest
