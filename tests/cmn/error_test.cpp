#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cmn/qvaderror.h"

TEST(ErrorRecord, FillClearsLabelsAndKeepsTheTailOfLongPaths) {
  QVAD_ERROR_TBL tbl;
  std::memset(&tbl, 0x5A, sizeof tbl);
  QVAD_FILL_ERROR(&tbl, 30, 231);
  int line = __LINE__ - 1;
  EXPECT_STREQ(tbl.label, "QVAD_ERROR_TBL");
  EXPECT_EQ(tbl.local_code, 30);
  EXPECT_EQ(tbl.system_code, 231u);
  EXPECT_EQ(tbl.line, line);
  EXPECT_NE(std::strstr(tbl.source, "error_test.cpp"), nullptr);
  // The rest of the label field is cleared, not left as the old bytes.
  for (std::size_t i = sizeof "QVAD_ERROR_TBL"; i < sizeof tbl.label; ++i) EXPECT_EQ(tbl.label[i], 0);

  std::string longpath(400, 'd');
  longpath += "/file.cpp";
  Qvad_FillError(&tbl, 22, 87, 7, longpath.c_str());
  EXPECT_EQ(std::strlen(tbl.source), sizeof tbl.source - 1);
  EXPECT_NE(std::strstr(tbl.source, "/file.cpp"), nullptr);
  Qvad_FillError(nullptr, 1, 2, 3, "x");  // ignored, no crash
}
