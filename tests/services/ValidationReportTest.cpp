// What validation found arrives on this server as the failure status of the start (newer
// servers: of the first query). The validation service reads it as the action's output.
#include "IBBackupService.h"
#include "IBValidationService.h"
#include "ServiceTestSupport.h"

#include <string>
#include <vector>

using namespace servicetest;

namespace {

constexpr ISC_STATUS kSummary = 335740952;
constexpr ISC_STATUS kDataPageErrors = 335740985;

class ValidationReport : public FakeClientTest {
protected:
    void SetUp() override
    {
        FakeClientTest::SetUp();
        fakeclient::SetMessage(kSummary, "Summary of validation errors");
        fakeclient::SetMessage(kDataPageErrors, "\tNumber of data page errors\t: @1");
        fakeclient::SetSqlCode(kSummary, -901);
        ConfigureAsConsole(service);
        service.SetDatabaseName("/db/damaged.fdb");
        service.SetOptions(TValidateOptions::FromBits(192));
        service.Attach();
    }
    // The status the server gives: [1, 335740952, 1, 335740985, 4, 3, 0].
    static fakeclient::Reply Summary() { return fakeclient::Failure(kSummary, {isc_arg_gds, kDataPageErrors, isc_arg_number, 3}); }

    std::vector<std::string> ReadAll()
    {
        std::vector<std::string> lines;
        for (std::string line = service.GetNextLine(); !line.empty(); line = service.GetNextLine())
            lines.push_back(line);
        return lines;
    }

    TIBValidationService service;
};

const std::vector<std::string> kSummaryLines = {"Summary of validation errors", "\tNumber of data page errors\t: 3"};

TEST_F(ValidationReport, StartStatusBecomesTheOutputLinesAndTheHandleIsKept)
{
    fakeclient::Push("isc_service_start", Summary());
    const isc_svc_handle handle = service.Handle();

    service.ServiceStart();

    EXPECT_TRUE(service.Active());
    EXPECT_EQ(service.Handle(), handle);
    EXPECT_EQ(ReadAll(), kSummaryLines);
    EXPECT_TRUE(service.Eof());
    EXPECT_EQ(service.GetNextLine(), "");
    EXPECT_TRUE(fakeclient::CallsTo("isc_service_query").empty());

    service.SetActive(false);
    const auto detaches = fakeclient::CallsTo("isc_service_detach");
    ASSERT_EQ(detaches.size(), 1u);
    EXPECT_EQ(detaches[0].Number("handle"), static_cast<int64_t>(handle));
}

TEST_F(ValidationReport, FirstQueryStatusBecomesTheOutputLinesToo)
{
    fakeclient::Push("isc_service_query", Summary());
    service.ServiceStart();

    EXPECT_EQ(ReadAll(), kSummaryLines);
    EXPECT_TRUE(service.Active());
    EXPECT_EQ(fakeclient::CallsTo("isc_service_query").size(), 1u);
}

TEST_F(ValidationReport, ReportComesAsOneChunkOfLines)
{
    fakeclient::Push("isc_service_start", Summary());
    service.ServiceStart();
    EXPECT_EQ(service.GetNextChunk(), "Summary of validation errors\n\tNumber of data page errors\t: 3\n");
    EXPECT_TRUE(service.Eof());
    EXPECT_TRUE(fakeclient::CallsTo("isc_service_query").empty());
}

TEST_F(ValidationReport, NextStartForgetsTheEarlierReport)
{
    fakeclient::Push("isc_service_start", Summary());
    service.ServiceStart();
    EXPECT_EQ(service.GetNextLine(), kSummaryLines[0]);

    service.ServiceStart();
    fakeclient::Push("isc_service_query", fakeclient::Output(LineAnswer("Validation finished")));
    fakeclient::Push("isc_service_query", fakeclient::Output(LineAnswer("")));
    EXPECT_EQ(ReadAll(), std::vector<std::string>{"Validation finished"});
}

TEST_F(ValidationReport, OtherFailuresStayFailures)
{
    constexpr ISC_STATUS kOther = 335544344;
    fakeclient::SetMessage(kOther, "I/O error");
    fakeclient::Push("isc_service_start", fakeclient::Failure(kOther));
    EXPECT_THROW(service.ServiceStart(), EIBInterBaseError);
    EXPECT_FALSE(service.Active());
}

TEST_F(ValidationReport, SummaryAsASecondaryCodeIsAFailure)
{
    constexpr ISC_STATUS kOther = 335544344;
    fakeclient::SetMessage(kOther, "I/O error");
    fakeclient::Push("isc_service_start", fakeclient::Failure(kOther, {isc_arg_gds, kSummary}));
    EXPECT_THROW(service.ServiceStart(), EIBInterBaseError);
    EXPECT_FALSE(service.Active());
}

TEST_F(ValidationReport, OtherServicesTreatTheSummaryStatusAsAFailure)
{
    TIBBackupService backup;
    ConfigureAsConsole(backup);
    backup.SetDatabaseName("/db/damaged.fdb");
    backup.Attach();
    fakeclient::Push("isc_service_start", Summary());
    try {
        backup.ServiceStart();
        ADD_FAILURE() << "no exception";
    } catch (const EIBInterBaseError& error) {
        EXPECT_EQ(error.IBErrorCode(), kSummary);
        EXPECT_EQ(error.Message(), "Summary of validation errors\r\n\tNumber of data page errors\t: 3");
    }
    EXPECT_FALSE(backup.Active());
}

// The server sometimes answers the start with the heading alone; the next query's status then
// holds the whole report.
TEST_F(ValidationReport, AStartStatusWithTheHeadingAloneIsCompletedFromTheQuerysStatus)
{
    fakeclient::Push("isc_service_start", fakeclient::Failure(kSummary));
    fakeclient::Push("isc_service_query", Summary());
    service.ServiceStart();
    EXPECT_EQ(ReadAll(), kSummaryLines);
    EXPECT_EQ(fakeclient::CallsTo("isc_service_query").size(), 1u) << "asked once, then the report is whole";
    EXPECT_TRUE(service.Active());
}

TEST_F(ValidationReport, AHeadingAloneStaysTheReportWhenTheQueryAnswersNormally)
{
    fakeclient::Push("isc_service_start", fakeclient::Failure(kSummary));
    fakeclient::Push("isc_service_query", fakeclient::Output(fakeclient::Bytes({isc_info_svc_line, 0, 0, isc_info_end})));
    service.ServiceStart();
    EXPECT_EQ(ReadAll(), (std::vector<std::string>{"Summary of validation errors"}));
    EXPECT_EQ(fakeclient::CallsTo("isc_service_query").size(), 1u);
}

TEST_F(ValidationReport, ACompleteStartStatusIsNotAskedForAgain)
{
    fakeclient::Push("isc_service_start", Summary());
    service.ServiceStart();
    EXPECT_EQ(ReadAll(), kSummaryLines);
    EXPECT_TRUE(fakeclient::CallsTo("isc_service_query").empty());
}

}  // namespace
