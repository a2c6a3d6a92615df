#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setup/task_definition.h"

namespace {

struct StartCase {
  std::u16string start;
  bool accepted;
};

TEST(PackageStartTime, OnlyHoursAndMinutesOfADay) {
  const std::vector<StartCase> cases = {
      {u"00:00", true},     {u"07:30", true},  {u"23:59", true},
      {u"24:00", false},    {u"23:60", false}, {u"7:30", false},
      {u"07:3", false},     {u"07.30", false}, {u"07:30 ", false},
      {u"", false},         {u"0a:30", false}, {u"07:30:00", false},
      {u"１８:００", false}};
  for (const StartCase& c : cases) {
    EXPECT_EQ(c.accepted, setup::IsStartTime(c.start))
        << std::string(c.start.begin(), c.start.end());
  }
}

TEST(PackageStartTime, ReadBackFromATriggersStartBoundary) {
  EXPECT_EQ(u"07:30", setup::StartTimeOf(u"2026-01-01T07:30:00"));
  EXPECT_EQ(u"18:00", setup::StartTimeOf(u"2026-01-01T18:00:00+09:00"));
  EXPECT_EQ(u"", setup::StartTimeOf(u"2026-01-01"));
  EXPECT_EQ(u"", setup::StartTimeOf(u"2026-01-01T7:30:00"));
  EXPECT_EQ(u"", setup::StartTimeOf(u""));
}

TEST(PackageTaskDefinition, HoldsTheStartAndTheFolderAsText) {
  std::u16string definition = setup::TaskDefinition(
      {u"07:30", u"C:\\ツール & 試験!<%^()>\\tesmarinds\\"});
  EXPECT_EQ(0U,
            definition.find(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>"));
  EXPECT_NE(std::u16string::npos,
            definition.find(u"<StartBoundary>2026-01-01T07:30:00"
                            u"</StartBoundary>"));
  EXPECT_NE(std::u16string::npos,
            definition.find(u"<Command>\"C:\\ツール &amp; 試験!&lt;%^()&gt;"
                            u"\\tesmarinds\\tesmarinds-task.exe\"</Command>"));
  EXPECT_NE(std::u16string::npos,
            definition.find(u"<GroupId>S-1-5-32-545</GroupId>"));
  EXPECT_EQ(std::u16string::npos, definition.find(u"& "));
}

TEST(PackageTaskDefinition, RegistrationDataSplitsAtTheFirstBar) {
  setup::Registration registration;
  ASSERT_TRUE(
      setup::SplitRegistrationData(u"07:30|C:\\売上 & 集計\\", &registration));
  EXPECT_EQ(u"07:30", registration.start);
  EXPECT_EQ(u"C:\\売上 & 集計\\", registration.folder);
  EXPECT_TRUE(setup::SplitRegistrationData(u"|", &registration));
  EXPECT_EQ(u"", registration.start);
  EXPECT_FALSE(setup::SplitRegistrationData(u"07:30", &registration));
}

}  // namespace
