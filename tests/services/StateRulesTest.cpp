// Connection state rules: refusals, no-op writes, property interplay, failed client calls.
#include "IBBackupService.h"
#include "IBValidationService.h"
#include "ServiceTestSupport.h"

#include <functional>
#include <string>
#include <vector>

using namespace servicetest;

namespace {

class StateRules : public FakeClientTest {};

TEST_F(StateRules, NewServiceHasTheDocumentedStartingValues)
{
    TIBValidationService service;
    EXPECT_FALSE(service.Active());
    EXPECT_EQ(service.Protocol(), TProtocol::Local);
    EXPECT_EQ(service.ServerName(), "");
    EXPECT_EQ(service.Params().Count(), 0u);
    EXPECT_TRUE(service.LoginPrompt());
    EXPECT_TRUE(service.TraceFlags().Empty());
    EXPECT_EQ(service.BufferSize(), 32000);
    EXPECT_FALSE(service.Eof());
}

// Every refusal of the failure table that a state or a missing setting causes, each checked to
// happen before any client call.
TEST_F(StateRules, RefusalsRaiseTheirCodeWithoutCallingTheClient)
{
    struct Case {
        const char* rule;
        std::function<void(TIBValidationService&)> arrange;
        std::function<void(TIBValidationService&)> act;
        int code;
    };
    const auto attached = [](TIBValidationService& s) {
        ConfigureAsConsole(s);
        s.Attach();
    };
    const auto detached = [](TIBValidationService& s) { ConfigureAsConsole(s); };
    const Case cases[] = {
        {"Detach on a detached service", detached, [](auto& s) { s.Detach(); }, ceServiceNotAttached},
        {"ServiceStart on a detached service", detached, [](auto& s) { s.ServiceStart(); }, ceServiceNotAttached},
        {"Attach on an attached service", attached, [](auto& s) { s.Attach(); }, ceServiceAttached},
        {"another ServerName while attached", attached, [](auto& s) { s.SetServerName("other"); },
         ceServiceAttached},
        {"another Protocol while attached", attached, [](auto& s) { s.SetProtocol(TProtocol::SPX); },
         ceServiceAttached},
        {"Params value while attached", attached, [](auto& s) { s.Params().SetValue("password", "x"); },
         ceServiceAttached},
        {"Params line rewritten with the same text while attached", attached,
         [](auto& s) { s.Params().Put(0, s.Params().Line(0)); }, ceServiceAttached},
        {"Params cleared while attached", attached, [](auto& s) { s.Params().Clear(); }, ceServiceAttached},
        {"Params assigned while attached", attached, [](auto& s) { s.SetParams(TParamList{"user_name=a"}); },
         ceServiceAttached},
        {"empty ServerName with TCP", [](auto& s) {
             s.SetLoginPrompt(false);
             s.SetProtocol(TProtocol::TCP);
         },
         [](auto& s) { s.Attach(); }, ceServerNameMissing},
        {"GetNextLine before any action", attached, [](auto& s) { s.GetNextLine(); }, ceQueryParamsError},
        {"GetNextChunk before any action", attached, [](auto& s) { s.GetNextChunk(); }, ceQueryParamsError},
        {"ServiceStart without a database name", attached, [](auto& s) { s.ServiceStart(); }, ceStartParamsError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        fakeclient::Reset();
        TIBValidationService service;
        c.arrange(service);
        const bool wasActive = service.Active();
        const std::vector<std::string> lines = service.Params().Lines();
        const std::string server = service.ServerName();
        const TProtocol protocol = service.Protocol();
        const auto callsBefore = ServiceCalls().size();

        EXPECT_EQ(ClientErrorOf([&] { c.act(service); }), c.code);

        EXPECT_EQ(ServiceCalls().size(), callsBefore);
        EXPECT_EQ(service.Active(), wasActive);
        EXPECT_EQ(service.Params().Lines(), lines);
        EXPECT_EQ(service.ServerName(), server);
        EXPECT_EQ(service.Protocol(), protocol);
    }
}

TEST_F(StateRules, StartOfAPlainControlServiceHasNoBlock)
{
    TIBControlService service;
    ConfigureAsConsole(service);
    service.Attach();
    EXPECT_EQ(ClientErrorOf([&] { service.ServiceStart(); }), ceStartParamsError);
    EXPECT_TRUE(fakeclient::CallsTo("isc_service_start").empty());
    EXPECT_TRUE(service.Active());
}

TEST_F(StateRules, WritingTheCurrentActiveStateDoesNothing)
{
    TIBCustomService service;
    ConfigureAsConsole(service);
    service.SetActive(false);
    EXPECT_TRUE(ServiceCalls().empty());

    service.Attach();
    service.SetActive(true);
    EXPECT_EQ(ServiceCalls(), std::vector<std::string>{"isc_service_attach"});

    service.SetActive(false);
    service.SetActive(true);
    EXPECT_TRUE(service.Active());
    EXPECT_EQ(ServiceCalls(),
              (std::vector<std::string>{"isc_service_attach", "isc_service_detach", "isc_service_attach"}));
}

TEST_F(StateRules, SameServerNameWhileAttachedIsAccepted)
{
    TIBCustomService service;
    ConfigureAsConsole(service);
    service.Attach();
    EXPECT_EQ(ClientErrorOf([&] { service.SetServerName("localhost"); }), kNotRaised);
    EXPECT_EQ(ClientErrorOf([&] { service.SetProtocol(TProtocol::TCP); }), kNotRaised);
}

TEST_F(StateRules, ServerNameAndProtocolFollowEachOther)
{
    struct Case {
        const char* rule;
        TProtocol startProtocol;
        std::string startServer;
        std::function<void(TIBCustomService&)> change;
        TProtocol protocol;
        std::string server;
    };
    const Case cases[] = {
        {"a name switches Local to TCP", TProtocol::Local, "", [](auto& s) { s.SetServerName("localhost"); },
         TProtocol::TCP, "localhost"},
        {"a name keeps SPX", TProtocol::SPX, "a", [](auto& s) { s.SetServerName("b"); }, TProtocol::SPX, "b"},
        {"an empty name switches TCP to Local", TProtocol::TCP, "a", [](auto& s) { s.SetServerName(""); },
         TProtocol::Local, ""},
        {"Local empties the name", TProtocol::TCP, "a", [](auto& s) { s.SetProtocol(TProtocol::Local); },
         TProtocol::Local, ""},
        {"another remote protocol keeps the name", TProtocol::TCP, "a",
         [](auto& s) { s.SetProtocol(TProtocol::NamedPipe); }, TProtocol::NamedPipe, "a"},
        {"TCP without a name stays TCP", TProtocol::Local, "", [](auto& s) { s.SetProtocol(TProtocol::TCP); },
         TProtocol::TCP, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        TIBCustomService service;
        if (!c.startServer.empty())
            service.SetServerName(c.startServer);
        service.SetProtocol(c.startProtocol);
        ASSERT_EQ(service.ServerName(), c.startServer);
        c.change(service);
        EXPECT_EQ(service.Protocol(), c.protocol);
        EXPECT_EQ(service.ServerName(), c.server);
    }
}

// A failed client call forgets the handle without a detach and raises the server's text.
TEST_F(StateRules, FailedClientCallLeavesTheServiceDetached)
{
    constexpr ISC_STATUS kFailure = 335544344;  // any server error
    fakeclient::SetMessage(kFailure, "I/O error for file \"@1\"");
    fakeclient::SetSqlCode(kFailure, -902);
    struct Case {
        const char* rule;
        const char* function;
        std::function<void(TIBValidationService&)> act;
    };
    const Case cases[] = {
        {"attach", "isc_service_attach", [](auto& s) { s.Attach(); }},
        {"start", "isc_service_start",
         [](auto& s) {
             s.Attach();
             s.ServiceStart();
         }},
        {"query", "isc_service_query",
         [](auto& s) {
             s.Attach();
             s.ServiceStart();
             s.GetNextLine();
         }},
        {"running query", "isc_service_query",
         [](auto& s) {
             s.Attach();
             s.IsServiceRunning();
         }},
        {"detach", "isc_service_detach",
         [](auto& s) {
             s.Attach();
             s.Detach();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        fakeclient::Reset();
        fakeclient::SetMessage(kFailure, "I/O error for file \"@1\"");
        fakeclient::SetSqlCode(kFailure, -902);
        TIBValidationService service;
        ConfigureAsConsole(service);
        service.SetDatabaseName("/db/x.fdb");
        service.SetOptions(TValidateOptions::FromBits(192));
        fakeclient::Push(c.function, fakeclient::Failure(kFailure, {isc_arg_string, "/db/x.fdb"}));

        try {
            c.act(service);
            ADD_FAILURE() << "no exception";
        } catch (const EIBInterBaseError& error) {
            EXPECT_EQ(error.Message(), "I/O error for file \"/db/x.fdb\"");
            EXPECT_EQ(error.IBErrorCode(), kFailure);
            EXPECT_EQ(error.SQLCode(), -902);
        }
        EXPECT_FALSE(service.Active());
        const auto detachesAfterFailure = fakeclient::CallsTo("isc_service_detach").size();
        service.SetActive(false);  // what the console does next: nothing happens
        EXPECT_EQ(fakeclient::CallsTo("isc_service_detach").size(), detachesAfterFailure);
        // The service keeps its settings and attaches again.
        EXPECT_EQ(service.Params().Value("user_name"), "SYSDBA");
        service.Attach();
        EXPECT_TRUE(service.Active());
    }
}

TEST_F(StateRules, StoredActiveAttachesWhenLoadingEnds)
{
    TIBCustomService service;
    ConfigureAsConsole(service);
    service.BeginLoading();
    service.SetActive(true);
    EXPECT_FALSE(service.Active());
    EXPECT_TRUE(ServiceCalls().empty());
    service.Loaded();
    EXPECT_TRUE(service.Active());
    EXPECT_EQ(ServiceCalls(), std::vector<std::string>{"isc_service_attach"});
}

TEST_F(StateRules, DestructionDetachesAnAttachedService)
{
    {
        TIBCustomService service;
        ConfigureAsConsole(service);
        service.Attach();
    }
    EXPECT_EQ(ServiceCalls(), (std::vector<std::string>{"isc_service_attach", "isc_service_detach"}));
}

}  // namespace
