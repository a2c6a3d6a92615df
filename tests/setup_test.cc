#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "settings/settings.h"
#include "setup/kept_settings.h"
#include "setup/task_definition.h"

namespace {

RegistryValue Text(std::u16string text) {
  RegistryValue value;
  value.kind = RegistryValue::kText;
  value.text = std::move(text);
  return value;
}

RegistryValue Number(std::uint32_t number) {
  RegistryValue value;
  value.kind = RegistryValue::kNumber;
  value.number = number;
  return value;
}

RegistryValue Of(RegistryValue::Kind kind) {
  RegistryValue value;
  value.kind = kind;
  return value;
}

struct KeptCase {
  const char* what;
  setup::KeptSetting (*rule)(const RegistryValue&);
  RegistryValue found;
  std::u16string kept;  // empty: not kept
  const char* why;
};

TEST(PackageUpgrade, KeepsOnlyValuesThePropertiesTake) {
  const std::vector<KeptCase> cases = {
      {"a Term", setup::KeptTerm, Text(u"集計"), u"集計", ""},
      {"a Term of 2,000 units", setup::KeptTerm,
       Text(std::u16string(2000, u'売')), std::u16string(2000, u'売'), ""},
      {"an empty Term", setup::KeptTerm, Text(u""), u"", "empty"},
      {"a Term holding %", setup::KeptTerm, Text(u"50%"), u"", "% or \\"},
      {"a Term holding \\", setup::KeptTerm, Text(u"a\\b"), u"", "% or \\"},
      {"a REG_DWORD Term", setup::KeptTerm, Number(7), u"", "not text"},
      {"a REG_EXPAND_SZ Term", setup::KeptTerm, Of(RegistryValue::kOther), u"",
       "not text"},
      {"no Term", setup::KeptTerm, Of(RegistryValue::kAbsent), u"", "none"},
      {"KeepDays 45", setup::KeptKeepDays, Number(45), u"45", ""},
      {"KeepDays 0", setup::KeptKeepDays, Number(0), u"0", ""},
      {"KeepDays 3650", setup::KeptKeepDays, Number(3650), u"3650", ""},
      {"KeepDays 3651", setup::KeptKeepDays, Number(3651), u"", "0 to 3650"},
      {"KeepDays 0xFFFFFFFF", setup::KeptKeepDays, Number(0xFFFFFFFFU), u"",
       "0 to 3650"},
      {"KeepDays as text", setup::KeptKeepDays, Text(u"365"), u"", "0 to 3650"},
  };
  for (const KeptCase& c : cases) {
    const setup::KeptSetting kept = c.rule(c.found);
    EXPECT_EQ(!c.kept.empty(), kept.kept) << c.what;
    EXPECT_TRUE(kept.property == c.kept) << c.what;
    EXPECT_NE(std::string::npos, kept.why.find(c.why)) << c.what;
  }
}

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
