// The state-file operations that take their file's path, and the minute
// arithmetic they share.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "hp_ov/ov_evt/ovparse.h"
#include "hp_ov/ov_evt/ovstate.h"
#include "testutil.h"

namespace {

TEST(State, MinutesRoundUp) {
  EXPECT_EQ(OvMinutesSince(0, 301), 6);  // 10:00:00 read at 10:05:01
  EXPECT_EQ(OvMinutesSince(0, 300), 5);
  EXPECT_EQ(OvMinutesSince(0, 0), 0);
  EXPECT_EQ(OvMinutesSince(0, 1), 1);
  EXPECT_EQ(OvMinutesSince(90, 0), 0);  // a time in the future
  EXPECT_EQ(OvMinutesSince(60, 0), -1);
}

// The -l argument the event dump command gets: never negative, a minute of
// margin beyond the last handled event, everything on a first run.
TEST(State, LookBackMinutes) {
  struct Case {
    std::int64_t reference, now;
    std::int32_t minutes;
  } const cases[] = {
      {0, 1000000, 0},                                      // nothing handled before
      {1000000, 1000000, 1},                                // the same second: the margin
      {1000000, 1000060, 2},                                // a minute ago: that minute and the margin
      {1000000, 1000061, 3},    {1000000, 1000000 - 2, 1},  // within the tolerance ahead
      {2147483647, 1000000, 1},                             // far ahead (refused as a reference before this)
  };
  for (const Case &c : cases) {
    EXPECT_EQ(OvLookBackMinutes(c.reference, c.now), c.minutes) << c.reference << " at " << c.now;
  }
}

TEST(State, LogFileReadAndSave) {
  qvtest::ScratchDir dir("evtstate");
  std::string keep = dir.file("EvtKeep.txt");
  char text[kOvLineSize];
  EXPECT_EQ(OvReadLogFile(keep.c_str(), text), 1);
  EXPECT_EQ(OvGetLogCheck(keep.c_str(), text), 0);
  ASSERT_TRUE(qvtest::WriteFile(keep, ""));
  EXPECT_EQ(OvReadLogFile(keep.c_str(), text), 2);

  // Saved unchanged (a CR included), read back whole.
  std::string line = "1700000000 1 h\tx msg;S x\r";
  ASSERT_EQ(OvLogSaveFile(line.c_str(), keep.c_str()), 1);
  EXPECT_EQ(qvtest::ReadFile(keep), line);
  ASSERT_EQ(OvGetLogCheck(keep.c_str(), text), 1);
  EXPECT_EQ(std::string(text), line);
  // A longest line survives the round trip; the reader stops at 4096.
  std::string longest(4096, 'x');
  ASSERT_EQ(OvLogSaveFile(longest.c_str(), keep.c_str()), 1);
  ASSERT_EQ(OvReadLogFile(keep.c_str(), text), 0);
  EXPECT_EQ(std::string(text), longest);
  ASSERT_TRUE(qvtest::WriteFile(keep, longest + "yyy\nsecond"));
  ASSERT_EQ(OvReadLogFile(keep.c_str(), text), 0);
  EXPECT_EQ(std::string(text), longest);
  // No temporary file is left beside it.
  int files = 0;
  for (const auto &e : std::filesystem::directory_iterator(dir.path())) files += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 1);

  // A folder that does not exist: refused, nothing created.
  std::string missing = dir.file("none") + "/EvtKeep.txt";
  EXPECT_EQ(OvLogSaveFile("1 x", missing.c_str()), 0);
}

TEST(State, StopTimeAndDifTime) {
  qvtest::ScratchDir dir("evtstop");
  std::string stop = dir.file("StopTime.txt");
  std::int32_t v = 77;
  EXPECT_EQ(OvGetStopTime(stop.c_str(), &v), 0);
  EXPECT_EQ(v, 0);
  ASSERT_TRUE(qvtest::WriteFile(stop, ""));
  EXPECT_EQ(OvGetStopTimeOnly(stop.c_str(), &v), 0);
  std::int32_t now = static_cast<std::int32_t>(std::time(nullptr));
  ASSERT_TRUE(qvtest::WriteFile(stop, std::to_string(now - 3600) + "xyz\r\n"));
  ASSERT_EQ(OvGetStopTimeOnly(stop.c_str(), &v), 1);
  EXPECT_EQ(v, now - 3600);
  ASSERT_EQ(OvGetStopTime(stop.c_str(), &v), 1);
  EXPECT_GE(v, 60);
  EXPECT_LE(v, 61);
  ASSERT_TRUE(qvtest::WriteFile(stop, "letters"));
  ASSERT_EQ(OvGetStopTimeOnly(stop.c_str(), &v), 1);  // reads like atoi
  EXPECT_EQ(v, 0);

  std::int32_t minutes = -5;
  EXPECT_EQ(OvGetDifTime("abc def", &minutes), 0);
  EXPECT_EQ(OvGetDifTime("nospace", &minutes), 0);
  EXPECT_EQ(minutes, -5);
  ASSERT_EQ(OvGetDifTime((std::to_string(now - 120) + " 1 h\tx m").c_str(), &minutes), 1);
  EXPECT_GE(minutes, 2);
  EXPECT_LE(minutes, 3);
}

TEST(State, EtcPathsAreBounded) {
  char path[260];
  EXPECT_TRUE(OvEtcPath("C", kOvEvtKeep, path));
  std::string dir(250, 'd');
  EXPECT_FALSE(OvEtcPath(dir.c_str(), kOvEvtCount, path));
  EXPECT_STREQ(path, "");
  char install[260];
  ASSERT_EQ(OvGetInstallDir(install, sizeof install), 0u);
  EXPECT_EQ(OvGetInstallDir(install, 2), 87u);
}

// After a restart the rule replays what the dump command sends again: what
// lies before the last handled second, and the stored count of that second,
// were forwarded before; the rest is new and counted from where it stands.
TEST(State, DuplicateRule) {
  using V = OvDupVerdict;
  struct Step {
    std::int32_t time;
    V verdict;
    std::int32_t count;  // run_index after the step: the count recorded with a new event
  };
  struct Scenario {
    const char *what;
    OV_DUP_STATE start;
    std::vector<Step> steps;
  } scenarios[] = {
      {"restart after two events of second 100",
       {100, 2, 0},
       {{99, V::Earlier, 0},
        {100, V::Handled, 1},
        {100, V::Handled, 2},
        {100, V::New, 3},
        {101, V::New, 1},
        {101, V::New, 2},
        {100, V::Earlier, 2}}},
      {"nothing handled before", {0, 0, 0}, {{5, V::New, 1}, {5, V::New, 2}, {4, V::Earlier, 2}}},
      // A time from StopTime.txt has no count: its second is forwarded whole.
      {"last time without a count", {100, 0, 0}, {{100, V::New, 1}, {100, V::New, 2}}},
      {"stored count larger than the second's events", {100, 5, 0}, {{100, V::Handled, 1}, {102, V::New, 1}}},
  };
  for (const Scenario &sc : scenarios) {
    OV_DUP_STATE st = sc.start;
    for (std::size_t i = 0; i < sc.steps.size(); ++i) {
      const Step &step = sc.steps[i];
      EXPECT_EQ(OvDuplicateRule(&st, step.time), step.verdict) << sc.what << ", step " << i;
      EXPECT_EQ(st.run_index, step.count) << sc.what << ", step " << i;
    }
  }
}

}  // namespace
