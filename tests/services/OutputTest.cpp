// Starting an action and reading its output: the start and query calls, the answer checks.
#include "IBValidationService.h"
#include "ServiceTestSupport.h"

#include <string>
#include <vector>

using namespace servicetest;

namespace {

class Output : public FakeClientTest {
protected:
    // An attached validation service whose action has been started.
    void Start()
    {
        ConfigureAsConsole(service);
        service.SetDatabaseName("/db/x.fdb");
        service.SetOptions(TValidateOptions::FromBits(192));
        service.Attach();
        service.ServiceStart();
    }
    void Answer(const std::string& bytes) { fakeclient::Push("isc_service_query", fakeclient::Output(bytes)); }
    std::size_t Queries() const { return fakeclient::CallsTo("isc_service_query").size(); }

    TIBValidationService service;
};

TEST_F(Output, StartAndQueryCallsCarryTheirArgumentsInOrder)
{
    fakeclient::Reply attached;
    attached.handle = 77;
    fakeclient::Push("isc_service_attach", attached);
    Start();
    Answer(LineAnswer("linha"));
    EXPECT_EQ(service.GetNextLine(), "linha");

    const auto status = reinterpret_cast<intptr_t>(ThreadStatusVector());
    const auto start = fakeclient::CallsTo("isc_service_start").at(0);
    EXPECT_EQ(start.Number("status"), status);
    EXPECT_EQ(start.Number("handle"), 77);
    EXPECT_TRUE(start.Get("reserved").isNull);
    EXPECT_EQ(start.Number("spb_length"), static_cast<int64_t>(start.Bytes("spb").size()));
    EXPECT_EQ(start.Bytes("spb").front(), isc_action_svc_repair);

    const auto query = fakeclient::CallsTo("isc_service_query").at(0);
    EXPECT_EQ(query.Number("status"), status);
    EXPECT_EQ(query.Number("handle"), 77);
    EXPECT_TRUE(query.Get("reserved").isNull);
    EXPECT_EQ(query.Number("send_length"), 0);
    EXPECT_TRUE(query.Get("send").isNull);
    EXPECT_EQ(query.Number("request_length"), 1);
    EXPECT_EQ(query.Bytes("request"), ">");
    EXPECT_EQ(query.Number("buffer_length"), 32000);
}

TEST_F(Output, BufferLengthToldToTheClientIsTheLow16BitsAndNeverMoreThanTheBuffer)
{
    struct Case {
        int32_t bufferSize;
        int64_t told;
    };
    for (const Case c : {Case{32000, 32000}, Case{65535, 65535}, Case{70000, 70000 - 65536}, Case{65536, 0},
                         Case{0, 0}, Case{-1, 0}}) {
        SCOPED_TRACE(c.bufferSize);
        fakeclient::Reset();
        TIBValidationService s;
        ConfigureAsConsole(s);
        s.SetDatabaseName("/db/x.fdb");
        s.SetBufferSize(c.bufferSize);
        s.Attach();
        s.ServiceStart();
        try {
            s.GetNextLine();
        } catch (const EIBClientError&) {
            // an answer that does not fit is refused; the call's arguments are what counts here
        }
        EXPECT_EQ(fakeclient::CallsTo("isc_service_query").at(0).Number("buffer_length"), c.told);
    }
}

TEST_F(Output, LinesAreReturnedUntilAnEmptyLineThenEmptyWithoutServerCallsUntilTheNextStart)
{
    Start();
    Answer(LineAnswer("Validating"));
    Answer(LineAnswer("página 3"));
    Answer(LineAnswer(""));
    EXPECT_EQ(service.GetNextLine(), "Validating");
    EXPECT_FALSE(service.Eof());
    EXPECT_EQ(service.GetNextLine(), "página 3");
    EXPECT_EQ(service.GetNextLine(), "");
    EXPECT_TRUE(service.Eof());
    EXPECT_EQ(Queries(), 3u);

    EXPECT_EQ(service.GetNextLine(), "");
    EXPECT_EQ(service.GetNextChunk(), "");
    EXPECT_EQ(Queries(), 3u);

    // Detaching changes nothing; the next start reads again.
    service.Detach();
    service.Attach();
    EXPECT_EQ(service.GetNextLine(), "");
    EXPECT_EQ(Queries(), 3u);
    service.ServiceStart();
    EXPECT_FALSE(service.Eof());
    Answer(LineAnswer("again"));
    EXPECT_EQ(service.GetNextLine(), "again");
    EXPECT_EQ(Queries(), 4u);
}

TEST_F(Output, LineStopsAtAZeroByteInsideTheData)
{
    Start();
    Answer(LineAnswer(std::string("abc\0def", 7)));
    EXPECT_EQ(service.GetNextLine(), "abc");
}

TEST_F(Output, UnexpectedAnswersRaise95AndAreNotRead)
{
    struct Case {
        const char* rule;
        std::string answer;
        int32_t bufferSize = 32000;
    };
    const Case cases[] = {
        {"wrong first byte", Bytes({63, 2, 0}) + "ab" + Bytes({1})},
        {"truncated marker on a line", LineAnswer("ab", isc_info_truncated)},
        {"marker 0", LineAnswer("ab", 0)},
        {"negative length", Bytes({62, 0xFF, 0xFF, 1})},
        {"length past the end of the buffer", Bytes({62, 0x40, 0x9C, 1}), 32000},  // n = 40000
        {"end marker just outside the buffer", LineAnswer("abcde"), 8},
        {"buffer too small for the header", LineAnswer(""), 2},
        {"empty buffer", LineAnswer(""), 0},
        {"negative buffer size", LineAnswer(""), -5},
        {"nothing written (unscripted answer is a bare end byte)", std::string(1, '\x01')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        fakeclient::Reset();
        TIBValidationService s;
        ConfigureAsConsole(s);
        s.SetDatabaseName("/db/x.fdb");
        s.SetBufferSize(c.bufferSize);
        s.Attach();
        s.ServiceStart();
        fakeclient::Push("isc_service_query", fakeclient::Output(c.answer));
        EXPECT_EQ(ClientErrorOf([&] { s.GetNextLine(); }), ceOutputParsingError);
        EXPECT_TRUE(s.Active());
    }
}

TEST_F(Output, AnswerFillingTheBufferExactlyIsRead)
{
    ConfigureAsConsole(service);
    service.SetDatabaseName("/db/x.fdb");
    service.SetBufferSize(8);
    service.Attach();
    service.ServiceStart();
    Answer(LineAnswer("abcd"));  // 3 + 4 + marker = 8 bytes
    EXPECT_EQ(service.GetNextLine(), "abcd");
}

TEST_F(Output, AnAnswerOf32KilobytesOrMoreIsReadWhole)
{
    Start();
    service.SetBufferSize(65535);
    // 40000 bytes: the length's high byte 0x9C has its top bit set.
    const std::string data(40000, 'x');
    Answer(std::string(1, static_cast<char>(isc_info_svc_to_eof)) + Bytes({0x40, 0x9C}) + data +
           static_cast<char>(isc_info_end));
    EXPECT_EQ(service.GetNextChunk(), data);
    EXPECT_TRUE(service.Eof());
}

TEST_F(Output, ResizedBufferIsZeroFilledSoNoStaleMarkerIsRead)
{
    Start();
    Answer(LineAnswer("abc"));  // end marker at byte 6
    EXPECT_EQ(service.GetNextLine(), "abc");
    service.SetBufferSize(16);
    // Same length, no end marker written: byte 6 must now be zero, not the old marker.
    Answer(Bytes({62, 3, 0}) + "xyz");
    EXPECT_EQ(ClientErrorOf([&] { service.GetNextLine(); }), ceOutputParsingError);
    EXPECT_EQ(fakeclient::CallsTo("isc_service_query").back().Number("buffer_length"), 16);
}

TEST_F(Output, ChunksEndWithTheEndMarkerAndContinueOnTruncated)
{
    Start();
    Answer(Bytes({63, 4, 0}) + "a\nb\n" + Bytes({isc_info_truncated}));
    Answer(Bytes({63, 2, 0}) + "c\n" + Bytes({isc_info_end}));
    EXPECT_EQ(service.GetNextChunk(), "a\nb\n");
    EXPECT_FALSE(service.Eof());
    EXPECT_EQ(service.GetNextChunk(), "c\n");
    EXPECT_TRUE(service.Eof());
    EXPECT_EQ(service.GetNextChunk(), "");
    const auto queries = fakeclient::CallsTo("isc_service_query");
    ASSERT_EQ(queries.size(), 2u);
    EXPECT_EQ(queries[0].Bytes("request"), "?");
}

TEST_F(Output, ChunkAnswersWithWrongItemOrMarkerRaise95)
{
    for (const std::string& answer : {Bytes({62, 1, 0}) + "a" + Bytes({1}), Bytes({63, 1, 0}) + "a" + Bytes({3}),
                                      Bytes({63, 0xFF, 0x7F, 1})}) {
        fakeclient::Reset();
        TIBValidationService s;
        ConfigureAsConsole(s);
        s.SetDatabaseName("/db/x.fdb");
        s.Attach();
        s.ServiceStart();
        fakeclient::Push("isc_service_query", fakeclient::Output(answer));
        EXPECT_EQ(ClientErrorOf([&] { s.GetNextChunk(); }), ceOutputParsingError);
    }
}

TEST_F(Output, IsServiceRunningReadsTheFourByteAnswerWithoutAnAction)
{
    ConfigureAsConsole(service);
    service.Attach();
    fakeclient::Push("isc_service_query", fakeclient::Output(Bytes({67, 1, 0, 0, 0, 1})));
    fakeclient::Push("isc_service_query", fakeclient::Output(Bytes({67, 0, 0, 0, 0, 1})));
    fakeclient::Push("isc_service_query", fakeclient::Output(Bytes({67, 1, 0, 0, 1, 1})));
    fakeclient::Push("isc_service_query", fakeclient::Output(Bytes({62, 1, 0, 0, 0, 1})));
    EXPECT_TRUE(service.IsServiceRunning());
    EXPECT_FALSE(service.IsServiceRunning());
    EXPECT_FALSE(service.IsServiceRunning());  // 0x01000001 is not 1
    EXPECT_EQ(ClientErrorOf([&] { service.IsServiceRunning(); }), ceOutputParsingError);
    EXPECT_EQ(fakeclient::CallsTo("isc_service_query").at(0).Bytes("request"), "C");
}

// The query sender is internal; a probe reaches it to check the empty-request refusal.
struct QueryProbe : TIBControlAndQueryService {
    using TIBCustomService::RunServiceQuery;
};

TEST_F(Output, QueryWithoutRequestItemsRaises93BeforeCallingTheClient)
{
    QueryProbe probe;
    ConfigureAsConsole(probe);
    probe.Attach();
    EXPECT_EQ(ClientErrorOf([&] { probe.RunServiceQuery(); }), ceQueryParamsError);
    EXPECT_TRUE(fakeclient::CallsTo("isc_service_query").empty());
}

}  // namespace
