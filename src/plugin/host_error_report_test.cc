#include "plugin/host_error_report.h"

#include <gtest/gtest.h>

namespace tarvex {
namespace {

TEST(HostErrorText, GivesTheSystemTextWithItsLineBreak) {
  EXPECT_EQ(HostErrorText(0x80004003), "Invalid pointer.\r\n");
  EXPECT_EQ(HostErrorText(0x80004005), "Unspecified error\r\n");
  EXPECT_EQ(HostErrorText(0x8000FFFF), "Catastrophic failure\r\n");
  EXPECT_EQ(HostErrorText(0x8007000E),
            "Not enough memory resources are available to complete this operation.\r\n");
  EXPECT_EQ(HostErrorText(0x80020003), "Member not found.\r\n");
  EXPECT_EQ(HostErrorText(0x80020013), "Buffer too small\r\n");
  EXPECT_EQ(HostErrorText(0x80070070), "There is not enough space on the disk.\r\n");
}

TEST(HostErrorText, IsEmptyForCodesWithoutText) {
  EXPECT_EQ(HostErrorText(0), "");
  EXPECT_EQ(HostErrorText(0x80020002), "");  // a gap in the dispatch errors
  EXPECT_EQ(HostErrorText(0x80040201), "");
  EXPECT_EQ(HostErrorText(0x80001234), "");
}

TEST(HostErrorText, CoversEveryDispatchErrorAndTheCommonOnes) {
  const HostStatus codes[] = {
      0x80004001, 0x80004002, 0x80004003, 0x80004004, 0x80004005, 0x8000FFFF, 0x80070005,
      0x8007000E, 0x80070057, 0x80020001, 0x80020003, 0x80020004, 0x80020005, 0x80020006,
      0x80020007, 0x80020008, 0x80020009, 0x8002000A, 0x8002000B, 0x8002000C, 0x8002000D,
      0x8002000E, 0x8002000F, 0x80020010, 0x80020011, 0x80020012, 0x80020013, 0x80070002,
      0x80070003, 0x80070020, 0x80070070, 0x800700AA};
  for (HostStatus code : codes) {
    const std::string text = HostErrorText(code);
    ASSERT_GT(text.size(), 2u) << std::hex << code;
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << std::hex << code;
    const std::string shown = HostErrorReportText(code);
    EXPECT_EQ(shown, text.substr(0, text.size() - 2)) << std::hex << code;
  }
}

TEST(HostErrorReportText, DropsTheFinalLineBreak) {
  EXPECT_EQ(HostErrorReportText(status::kInvalidPointer), "Invalid pointer.");
  EXPECT_EQ(HostErrorReportText(status::kFail), "Unspecified error");
  EXPECT_EQ(HostErrorReportText(status::kException), "Exception occurred.");
  EXPECT_EQ(HostErrorReportText(0x80070020),
            "The process cannot access the file because it is being used by another process.");
}

TEST(HostErrorReportText, NumbersInterfaceErrorsFromTheirBase) {
  EXPECT_EQ(HostErrorReportText(0x80040201), "IDispatch error #1");
  EXPECT_EQ(HostErrorReportText(0x80040300), "IDispatch error #256");
  EXPECT_EQ(HostErrorReportText(0x8004FFFF), "IDispatch error #65023");
  // The base itself and what lies beyond the facility are not interface errors.
  EXPECT_EQ(HostErrorReportText(0x80040200), "Unknown error 0x80040200");
  EXPECT_EQ(HostErrorReportText(0x80050000), "Unknown error 0x80050000");
}

TEST(HostErrorReportText, ShowsOtherCodesInUpperCaseHex) {
  EXPECT_EQ(HostErrorReportText(0x80001234), "Unknown error 0x80001234");
  EXPECT_EQ(HostErrorReportText(0x8000ABCD), "Unknown error 0x8000ABCD");
  EXPECT_EQ(HostErrorReportText(0xC0000005), "Unknown error 0xC0000005");
  EXPECT_EQ(HostErrorReportText(0x1F), "Unknown error 0x1F");
  EXPECT_EQ(HostErrorReportText(0), "Unknown error 0x0");
}

TEST(ReportHostError, ShowsTheTextInAnOkBoxCaptionedTarvex) {
  RecordingUi ui;
  ReportHostError(ui, HostError(status::kAccessDenied, "the host's own words"));
  ReportHostError(ui, HostError(0x80040201, ""));
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[0].text, "Access is denied.");
  EXPECT_EQ(ui.boxes[0].caption, "Tarvex");
  EXPECT_EQ(ui.boxes[0].style, mb::kOk);
  EXPECT_EQ(ui.boxes[1].text, "IDispatch error #1");
  EXPECT_TRUE(ui.beeps.empty());
}

// The box keeps the code's text; a front end with a log gets the host's own
// account beside it.
TEST(ReportHostError, HandsTheHostsDescriptionToTheInterfaceForItsLog) {
  struct LoggingUi : RecordingUi {
    void ShowHostError(const std::string& text, const std::string& caption,
                       const std::string& details) override {
      RecordingUi::ShowHostError(text, caption, details);
      lines.push_back(HostErrorLine(text, caption, details));
    }
    std::vector<std::string> lines;
  } ui;
  ReportHostError(ui,
                  HostError(status::kFail, "cannot move /m/new/1 to DedoZarozo: Not a directory"));
  ReportHostError(ui, HostError(status::kInvalidPointer, ""));
  ReportHostError(
      ui, HostError(status::kAccessDenied, "cannot read /m/new/caf\xE9: Permission denied"));
  ASSERT_EQ(ui.boxes.size(), 3u);
  EXPECT_EQ(ui.boxes[0].text, "Unspecified error");
  EXPECT_EQ(ui.lines, (std::vector<std::string>{
                          "Tarvex: Unspecified error (cannot move /m/new/1 to DedoZarozo: Not a "
                          "directory)",
                          "Tarvex: Invalid pointer.",
                          "Tarvex: Access is denied. (cannot read /m/new/caf\xC3\xA9: Permission "
                          "denied)",
                      }));
}

}  // namespace
}  // namespace tarvex
