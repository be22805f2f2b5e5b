// SPDX-License-Identifier: GPL-3.0-or-later
// The utility library keeps the C runtime's semantics.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "MyUtil.h"
#include "TestEnvironment.h"

namespace korvane::test {
namespace {

class MyUtilLibrary : public ::testing::Test {
 protected:
  void SetUp() override { LoadLibraries(); }
};

TEST_F(MyUtilLibrary, NumbersParseLikeTheRuntime) {
  struct Row {
    const char *Text;
    int Base;
    long Value;
    size_t Consumed;
  } Rows[] = {
      {"42", 10, 42, 2}, {"0x1F", 0, 31, 4}, {"017", 0, 15, 3}, {" -7:5", 10, -7, 3}, {"abc", 10, 0, 0}};
  for (const Row &R : Rows) {
    char *End = nullptr;
    EXPECT_EQ(MyUtil::my_strtol(R.Text, &End, R.Base), R.Value) << R.Text;
    EXPECT_EQ(static_cast<size_t>(End - R.Text), R.Consumed) << R.Text;
  }
  char *End = nullptr;
  EXPECT_DOUBLE_EQ(MyUtil::my_strtod("1.5:2", &End), 1.5);
  EXPECT_STREQ(End, ":2");
}

TEST_F(MyUtilLibrary, FormattingIsBounded) {
  char Text[8];
  EXPECT_EQ(MyUtil::my_snprintf(Text, sizeof Text, "%s-%d", "frame", 1234), 10);
  EXPECT_STREQ(Text, "frame-1");
}

TEST_F(MyUtilLibrary, TokensKeepTheirPlacePerThread) {
  char Main[] = "a b c";
  EXPECT_STREQ(MyUtil::my_strtok(Main, " "), "a");
  std::thread Other([] {
    char Text[] = "x y";
    EXPECT_STREQ(MyUtil::my_strtok(Text, " "), "x");
    EXPECT_STREQ(MyUtil::my_strtok(nullptr, " "), "y");
    EXPECT_EQ(MyUtil::my_strtok(nullptr, " "), nullptr);
  });
  Other.join();
  EXPECT_STREQ(MyUtil::my_strtok(nullptr, " "), "b");
  EXPECT_STREQ(MyUtil::my_strtok(nullptr, " "), "c");
  EXPECT_EQ(MyUtil::my_strtok(nullptr, " "), nullptr);
}

TEST_F(MyUtilLibrary, FilesRoundTrip) {
  TTempDir Temp;
  const std::string Name = Temp.File("stats.log");
  FILE *Out = MyUtil::my_fopen(Name.c_str(), "w");
  ASSERT_NE(Out, nullptr);
  EXPECT_GT(MyUtil::my_fprintf(Out, "frame= %5d\n", 12), 0);
  EXPECT_EQ(MyUtil::my_fwrite("end", 1, 3, Out), 3u);
  EXPECT_EQ(MyUtil::my_fclose(Out), 0);

  FILE *In = MyUtil::my_fopen(Name.c_str(), "r");
  ASSERT_NE(In, nullptr);
  ASSERT_EQ(MyUtil::my_fseek(In, 0, SEEK_END), 0);
  const long Size = MyUtil::my_ftell(In);
  EXPECT_EQ(Size, 16);
  ASSERT_EQ(MyUtil::my_fseek(In, 0, SEEK_SET), 0);
  char Buffer[32] = {};
  EXPECT_EQ(MyUtil::my_fread(Buffer, 1, sizeof Buffer, In), 16u);
  EXPECT_STREQ(Buffer, "frame=    12\nend");
  MyUtil::my_fclose(In);

  EXPECT_EQ(MyUtil::my_fopen(Temp.File("missing/x").c_str(), "r"), nullptr);
}

}  // namespace
}  // namespace korvane::test
