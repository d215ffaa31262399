// The Vary value: its three forms, steps and additions.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "TestSupport.h"
#include "foundation/Vary.h"

namespace {

Vary Int(int value) {
  Vary v;
  v = value;
  return v;
}

Vary Float(float value) {
  Vary v;
  v = value;
  return v;
}

TEST(Vary, DefaultIsAnEmptyStringWithEveryFormValid) {
  Vary v;
  EXPECT_EQ(v.GetType(), Vary::kString);
  EXPECT_EQ(v.ValidForms(), 7);
  EXPECT_EQ(v.AsString(), "");
  EXPECT_EQ(v.AsInt(), 0);
  EXPECT_EQ(v.AsFloat(), 0.0f);
}

TEST(Vary, ConversionsBetweenTheForms) {
  Vary f = Float(1.5f);
  EXPECT_EQ(f.AsString(), "1.500000");
  EXPECT_EQ(f.AsInt(), 2);

  Vary text("12abc");
  EXPECT_EQ(text.AsInt(), 12);
  EXPECT_EQ(text.AsFloat(), 12.0f);
  EXPECT_EQ(Vary(std::string("-3.25e1")).AsFloat(), -32.5f);
  EXPECT_EQ(Vary("nothing").AsInt(), 0);

  EXPECT_EQ(Int(-42).AsString(), "-42");
  EXPECT_EQ(Int(7).AsFloat(), 7.0f);
  EXPECT_EQ(Float(-0.125f).AsString(), "-0.125000");
}

TEST(Vary, FloatToIntegerAddsAHalfAndTruncatesTowardsZero) {
  struct Case {
    float value;
    int expected;
  } cases[] = {{2.5f, 3}, {2.4f, 2}, {-2.7f, -2}, {-0.5f, 0}, {-1.5f, -1}, {0.49f, 0}, {1e20f, INT_MIN}};
  for (const Case& c : cases) EXPECT_EQ(Float(c.value).AsInt(), c.expected) << c.value;
}

TEST(Vary, OutOfRangeTextsSaturate) {
  EXPECT_EQ(Vary("99999999999").AsInt(), INT_MAX);
  EXPECT_EQ(Vary("-99999999999").AsInt(), INT_MIN);
  EXPECT_EQ(Vary("1e300").AsFloat(), HUGE_VALF);
}

TEST(Vary, ConversionsAreCachedUntilTheValueChanges) {
  Vary v = Float(2.25f);
  EXPECT_EQ(v.ValidForms(), Vary::kFloatForm);
  v.AsString();
  EXPECT_EQ(v.ValidForms(), Vary::kFloatForm | Vary::kStringForm);
  v.AsInt();
  EXPECT_EQ(v.ValidForms(), 7);
  // Every assignment leaves only its own form valid, and the others are
  // rebuilt from the new value.
  v = 5;
  EXPECT_EQ(v.ValidForms(), Vary::kIntForm);
  EXPECT_EQ(v.AsString(), "5");
  EXPECT_EQ(v.AsFloat(), 5.0f);
  v = std::string("8");
  EXPECT_EQ(v.ValidForms(), Vary::kStringForm);
  EXPECT_EQ(v.AsInt(), 8);
  v = "9.5";
  EXPECT_EQ(v.AsFloat(), 9.5f);
  v = std::vector<char>{'1', '\0', '2'};
  EXPECT_EQ(v.GetType(), Vary::kString);
  EXPECT_EQ(v.AsString(), std::string("1\0002", 3));
  EXPECT_EQ(v.AsInt(), 1);
}

TEST(Vary, CopyTakesOnlyTheOwnForm) {
  Vary source = Float(3.75f);
  source.AsString();
  source.AsInt();
  Vary copy(source);
  EXPECT_EQ(copy.GetType(), Vary::kFloat);
  EXPECT_EQ(copy.ValidForms(), Vary::kFloatForm);
  EXPECT_EQ(copy.AsInt(), 4);
  Vary assigned("old");
  assigned = Int(11);
  EXPECT_EQ(assigned.GetType(), Vary::kInt);
  EXPECT_EQ(assigned.ValidForms(), Vary::kIntForm);
  EXPECT_EQ(assigned.AsString(), "11");
}

TEST(Vary, ClearEmptiesEveryFormAndKeepsTheType) {
  Vary v = Int(12);
  v.Clear();
  EXPECT_EQ(v.GetType(), Vary::kInt);
  EXPECT_EQ(v.ValidForms(), 7);
  EXPECT_EQ(v.AsInt(), 0);
  EXPECT_EQ(v.AsString(), "");
}

TEST(Vary, StepsFollowTheType) {
  Vary i = Int(5);
  EXPECT_EQ((i++).AsInt(), 5);
  EXPECT_EQ(i.AsInt(), 6);
  EXPECT_EQ((--i).AsInt(), 5);
  EXPECT_EQ(i.ValidForms(), Vary::kIntForm);

  Vary f = Float(0.5f);
  EXPECT_EQ((++f).AsFloat(), 1.5f);
  EXPECT_EQ((f--).AsFloat(), 1.5f);
  EXPECT_EQ(f.AsFloat(), 0.5f);
  EXPECT_EQ(f.AsString(), "0.500000");
}

TEST(Vary, IncrementingAStringLogsOncePerCallAndChangesNothing) {
  Vary s("abc");
  LogTail errors;
  ++s;
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "Warning: undefined operation on a Vary as type string: increment.\n  -call stack:\n\n");
  Vary before = s++;
  EXPECT_EQ(before.AsString(), "abc");
  EXPECT_EQ(s.AsString(), "abc");
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "Warning: undefined operation on a Vary as type string: increment.\n  -call stack:\n\n"
            "Warning: undefined operation on a Vary as type string: increment.\n  -call stack:\n\n");
}

TEST(Vary, DecrementingAStringDropsItsLastCharacter) {
  LogTail errors;
  Vary s("ab");
  Vary before = s--;
  EXPECT_EQ(before.AsString(), "ab");
  EXPECT_EQ(s.AsString(), "a");
  --s;
  EXPECT_EQ(s.AsString(), "");
  --s;
  EXPECT_EQ(s.AsString(), "");
  EXPECT_EQ(errors.Text(), "");
}

TEST(Vary, ShorteningAStringInvalidatesTheNumberForms) {
  Vary s("123");
  EXPECT_EQ(s.AsInt(), 123);
  EXPECT_EQ(s.AsFloat(), 123.0f);
  --s;
  EXPECT_EQ(s.ValidForms(), Vary::kStringForm);
  EXPECT_EQ(s.AsInt(), 12);
  EXPECT_EQ(s.AsFloat(), 12.0f);
}

TEST(Vary, AddingFollowsTheLeftValuesType) {
  Vary sum = Int(7) + Vary("3");
  EXPECT_EQ(sum.GetType(), Vary::kInt);
  EXPECT_EQ(sum.AsInt(), 10);

  Vary text = Vary("7") + Int(3);
  EXPECT_EQ(text.GetType(), Vary::kString);
  EXPECT_EQ(text.AsString(), "73");
  EXPECT_EQ(text.ValidForms(), Vary::kStringForm);

  Vary f = Float(1.25f);
  f += Vary("2.5");
  EXPECT_EQ(f.AsFloat(), 3.75f);
  EXPECT_EQ(f.ValidForms(), Vary::kFloatForm);
  f += Float(0.25f);
  EXPECT_EQ(f.AsFloat(), 4.0f);

  Vary i = Int(2);
  i += Float(2.5f);  // read as the integer 3
  EXPECT_EQ(i.AsInt(), 5);
  i += "40";
  EXPECT_EQ(i.AsInt(), 45);
  i += std::string("x");
  EXPECT_EQ(i.AsInt(), 45);

  Vary s("value: ");
  s += Float(0.5f);
  s += " and ";
  s += std::string("more");
  EXPECT_EQ(s.AsString(), "value: 0.500000 and more");

  Vary self("ab");
  self += self;
  EXPECT_EQ(self.AsString(), "abab");
}

}  // namespace
