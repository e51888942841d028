// The attach block, the service name and the attach and detach calls.
#include "ServiceTestSupport.h"

#include <string>
#include <vector>

using namespace servicetest;

namespace {

struct AttachBlockCase {
    const char* rule;
    std::vector<std::string> lines;
    std::string block;  // empty: refused, see code
    int code = kNotRaised;
};

std::vector<AttachBlockCase> AttachBlockCases()
{
    const std::string head = Bytes({2, 2});
    return {
        {"console credentials", {"user_name=SYSDBA", "password=masterkey"},
         head + Bytes({28, 6}) + "SYSDBA" + Bytes({29, 9}) + "masterkey"},
        {"empty list gives the version bytes alone", {}, head},
        {"name case does not matter", {"USER_NAME=x"}, head + Bytes({28, 1}) + "x"},
        {"isc_spb_ prefix is dropped", {"isc_spb_user_name=x"}, head + Bytes({28, 1}) + "x"},
        {"prefix in capitals is dropped too", {"ISC_SPB_PASSWORD=pw"}, head + Bytes({29, 2}) + "pw"},
        {"instance_name is accepted", {"instance_name=fb"}, head + Bytes({75, 2}) + "fb"},
        {"value keeps everything after the first =", {"password=a=b"}, head + Bytes({29, 3}) + "a=b"},
        {"value is untrimmed", {"user_name= x "}, head + Bytes({28, 3}) + " x "},
        {"empty value is sent with length 0", {"password="}, head + Bytes({29, 0})},
        {"UTF-8 value counted in bytes", {"password=ação"}, head + Bytes({29, 6}) + "ação"},
        {"line without = is skipped", {"user_name"}, head},
        {"line beginning with = is skipped", {"=user_name"}, head},
        {"line whose name is blank is skipped", {"   =x"}, head},
        {"blank before the name is unknown", {" user_name=x"}, "", ceSPBConstantUnknown},
        {"unknown name", {"role=x"}, "", ceSPBConstantUnknown},
        {"prefix removed only once", {"isc_spb_isc_spb_user_name=x"}, "", ceSPBConstantUnknown},
        {"db_name is known but not accepted", {"db_name=x"}, "", ceSPBConstantNotSupported},
        {"sql_role_name is known but not accepted", {"sql_role_name=x"}, "", ceSPBConstantNotSupported},
        {"sys_user_name is known but not accepted", {"isc_spb_sys_user_name=x"}, "", ceSPBConstantNotSupported},
        {"value of 255 bytes fits", {"password=" + std::string(255, 'p')},
         head + Bytes({29, 255}) + std::string(255, 'p')},
        {"value of 256 bytes is refused", {"password=" + std::string(256, 'p')}, "", ceUnknownError},
        {"user name of 31 bytes fits", {"user_name=" + std::string(31, 'u')},
         head + Bytes({28, 31}) + std::string(31, 'u')},
        {"user name of 32 bytes is refused", {"user_name=" + std::string(32, 'u')}, "", ceUnknownError},
        {"value of 128 two-byte characters is refused", {"password=" + [] {
             std::string s;
             for (int i = 0; i < 128; ++i)
                 s += "é";
             return s;
         }()},
         "", ceUnknownError},
    };
}

class AttachBlock : public FakeClientTest {};

TEST_F(AttachBlock, BuiltFromParamsByTheNameTableOrRefusedBeforeAnythingIsSent)
{
    for (const AttachBlockCase& c : AttachBlockCases()) {
        SCOPED_TRACE(c.rule);
        fakeclient::Reset();
        TIBCustomService service;
        service.SetServerName("localhost");
        service.SetLoginPrompt(false);
        for (const std::string& line : c.lines)
            service.Params().Add(line);

        const int code = ClientErrorOf([&] { service.Attach(); });

        EXPECT_EQ(code, c.code);
        const auto attaches = fakeclient::CallsTo("isc_service_attach");
        if (c.code != kNotRaised) {
            EXPECT_TRUE(attaches.empty());
            EXPECT_FALSE(service.Active());
            continue;
        }
        ASSERT_EQ(attaches.size(), 1u);
        EXPECT_EQ(attaches[0].Bytes("spb"), c.block);
        EXPECT_EQ(attaches[0].Number("spb_length"), static_cast<int64_t>(c.block.size()));
    }
}

TEST_F(AttachBlock, ConsoleCredentialsGiveTwelveBytesPlusThePassword)
{
    TIBCustomService service;
    ConfigureAsConsole(service, "ravenpike");
    service.Attach();
    const auto attach = fakeclient::CallsTo("isc_service_attach").at(0);
    EXPECT_EQ(attach.Number("spb_length"), 12 + 9);
}

TEST_F(AttachBlock, IsBuiltOnceAndSentAgainAfterDetachUntilParamsChange)
{
    TIBCustomService service;
    ConfigureAsConsole(service);
    service.Attach();
    service.Detach();
    service.Attach();
    service.Detach();
    service.Params().SetValue("password", "other");
    service.Attach();

    const auto attaches = fakeclient::CallsTo("isc_service_attach");
    ASSERT_EQ(attaches.size(), 3u);
    EXPECT_EQ(attaches[1].Bytes("spb"), attaches[0].Bytes("spb"));
    EXPECT_EQ(attaches[2].Bytes("spb"), Bytes({2, 2, 28, 6}) + "SYSDBA" + Bytes({29, 5}) + "other");
}

TEST_F(AttachBlock, FailedBuildNeverLetsALaterAttachSendAStaleBlock)
{
    struct Bad {
        const char* rule;
        std::string line;
    };
    for (const Bad& bad : {Bad{"unknown name", "nonsense=1"}, Bad{"too long", "password=" + std::string(300, 'x')}}) {
        SCOPED_TRACE(bad.rule);
        fakeclient::Reset();
        TIBCustomService service;
        ConfigureAsConsole(service);
        service.Attach();
        service.Detach();
        service.Params().Add(bad.line);

        // Both attempts refuse; neither sends the block of the earlier, good build.
        EXPECT_NE(ClientErrorOf([&] { service.Attach(); }), kNotRaised);
        EXPECT_NE(ClientErrorOf([&] { service.Attach(); }), kNotRaised);
        EXPECT_EQ(fakeclient::CallsTo("isc_service_attach").size(), 1u);

        service.Params().Delete(service.Params().Count() - 1);
        service.Attach();
        const auto attaches = fakeclient::CallsTo("isc_service_attach");
        ASSERT_EQ(attaches.size(), 2u);
        EXPECT_EQ(attaches[1].Bytes("spb"), attaches[0].Bytes("spb"));
        EXPECT_EQ(attaches[1].Number("spb_length"), static_cast<int64_t>(attaches[1].Bytes("spb").size()));
    }
}

TEST_F(AttachBlock, BlockLongerThanItsSigned16BitLengthIsRefused)
{
    TIBCustomService service;
    service.SetServerName("localhost");
    service.SetLoginPrompt(false);
    // 128 items of 257 bytes: 32898 bytes with the version bytes.
    for (int i = 0; i < 128; ++i)
        service.Params().Add("password=" + std::string(255, 'p'));
    EXPECT_NE(ClientErrorOf([&] { service.Attach(); }), kNotRaised);
    EXPECT_TRUE(fakeclient::CallsTo("isc_service_attach").empty());

    // 127 items fit: 2 + 127 * 257 = 32641 bytes.
    service.Params().Delete(0);
    service.Attach();
    EXPECT_EQ(fakeclient::CallsTo("isc_service_attach").at(0).Number("spb_length"), 32641);
}

TEST_F(AttachBlock, LoginHandlerFillsTheLinesThatAreSent)
{
    TIBCustomService service;
    service.SetServerName("localhost");
    service.Params().SetValue("user_name", "nobody");
    int calls = 0;
    service.SetOnLogin([&](TIBCustomService& sender, TParamList& lines) {
        ++calls;
        EXPECT_EQ(&sender, &service);
        lines.SetValue("user_name", "SYSDBA");
        lines.SetValue("password", "pw");
    });
    service.Attach();

    EXPECT_EQ(calls, 1);
    EXPECT_EQ(service.Params().Value("password"), "pw");
    EXPECT_EQ(fakeclient::CallsTo("isc_service_attach").at(0).Bytes("spb"),
              Bytes({2, 2, 28, 6}) + "SYSDBA" + Bytes({29, 2}) + "pw");
}

TEST_F(AttachBlock, LoginPromptWithoutHandlerOrDialogCancelsBeforeAnyCall)
{
    TIBCustomService service;
    service.SetServerName("localhost");
    ASSERT_TRUE(service.LoginPrompt());
    EXPECT_EQ(ClientErrorOf([&] { service.Attach(); }), ceOperationCancelled);
    EXPECT_TRUE(fakeclient::CallsTo("isc_service_attach").empty());
}

class ServiceName : public FakeClientTest {};

TEST_F(ServiceName, FollowsTheProtocol)
{
    struct Case {
        TProtocol protocol;
        std::string name;
    };
    const Case cases[] = {
        {TProtocol::TCP, "localhost:service_mgr"},
        {TProtocol::SPX, "localhost@service_mgr"},
        {TProtocol::NamedPipe, "\\\\localhost\\service_mgr"},
        {TProtocol::Local, "service_mgr"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fakeclient::Reset();
        TIBCustomService service;
        service.SetLoginPrompt(false);
        service.SetServerName("localhost");
        service.SetProtocol(c.protocol);
        service.Attach();
        const auto attach = fakeclient::CallsTo("isc_service_attach").at(0);
        EXPECT_EQ(attach.Bytes("name"), c.name);
        EXPECT_EQ(attach.Number("name_length"), static_cast<int64_t>(c.name.size()));
    }
}

TEST_F(ServiceName, LengthCountsBytesOfTheConvertedName)
{
    TIBCustomService service;
    service.SetLoginPrompt(false);
    service.SetServerName("servidor-ação");
    service.Attach();
    const auto attach = fakeclient::CallsTo("isc_service_attach").at(0);
    EXPECT_EQ(attach.Bytes("name"), "servidor-ação:service_mgr");
    EXPECT_EQ(attach.Number("name_length"), 27);
}

class ClientCalls : public FakeClientTest {};

TEST_F(ClientCalls, AttachAndDetachPassTheThreadStatusVectorAndTheHandle)
{
    TIBCustomService service;
    ConfigureAsConsole(service);
    fakeclient::Reply reply;
    reply.handle = 4242;
    fakeclient::Push("isc_service_attach", reply);
    int attachedEvents = 0;
    service.SetOnAttach([&](TIBCustomService& sender) {
        EXPECT_EQ(&sender, &service);
        ++attachedEvents;
    });

    service.Attach();
    EXPECT_TRUE(service.Active());
    EXPECT_EQ(service.Handle(), 4242u);
    EXPECT_EQ(attachedEvents, 1);
    service.Detach();
    EXPECT_FALSE(service.Active());

    const auto status = reinterpret_cast<intptr_t>(ThreadStatusVector());
    const auto attach = fakeclient::CallsTo("isc_service_attach").at(0);
    EXPECT_EQ(attach.Number("status"), status);
    EXPECT_EQ(attach.Number("handle"), 0);  // a detached service passes the empty handle
    const auto detach = fakeclient::CallsTo("isc_service_detach").at(0);
    EXPECT_EQ(detach.Number("status"), status);
    EXPECT_EQ(detach.Number("handle"), 4242);
    EXPECT_EQ(ServiceCalls(), (std::vector<std::string>{"isc_service_attach", "isc_service_detach"}));
}

}  // namespace
