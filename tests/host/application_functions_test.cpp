// The stand-in host's application functions: the export dialog and the
// axis conversions of its record.
#include <gtest/gtest.h>

#include <vector>

#include "host/host_document.h"
#include "host_documents.h"

namespace {

std::vector<float> Coordinates(const MQPoint& p) { return {p.x, p.y, p.z}; }

// Puts the program's export options back to their defaults after each test.
class HostDialog : public testing::Test {
 protected:
  void TearDown() override { VHost_SetExportOptions(1.0f, 1, 2, 4, 0); }
};

}  // namespace

TEST_F(HostDialog, AppliesTheProgramsOptionsUnlessCancelled) {
  ExportDialogRecord record = {};
  record.axis1 = 1;
  record.axis2 = 2;
  record.axis3 = 4;
  MQPoint p[1] = {{1.0f, 2.0f, 3.0f}};
  MQ_ExportAxis(&record, p, 1);  // the driver's record converts nothing
  EXPECT_EQ(Coordinates(p[0]), (std::vector<float>{1, 2, 3}));

  VHost_SetExportOptions(2.0f, 4 | kAxisNegate, 2, 1, 0);
  EXPECT_EQ(MQ_ShowFileDialog("t", &record), 1);
  MQ_ExportAxis(&record, p, 1);
  EXPECT_EQ(Coordinates(p[0]), (std::vector<float>{-6, 4, 2}));
  MQ_ImportAxis(&record, p, 1);
  EXPECT_EQ(Coordinates(p[0]), (std::vector<float>{1, 2, 3}));

  ExportDialogRecord untouched = {};
  untouched.axis1 = 1;
  VHost_SetExportOptions(5.0f, 2, 2, 2, 1);
  EXPECT_EQ(MQ_ShowFileDialog("t", &untouched), 0);
  EXPECT_EQ(untouched.axis1, 1);
  EXPECT_EQ(untouched.host_word1, 0);
}
