// Test programs' entry. No test may wait for a person: every message box,
// including those of the globals' teardown after main returns, is answered
// by a handler that stays installed for the program's whole life.
#include <gtest/gtest.h>

#include "TestSupport.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  SetMessageBoxHandler(AnswerBoxesSilently);
  return RUN_ALL_TESTS();
}
