// Checks of the globals' construction and teardown order. The teardown runs
// after main returns, so the order is read from a child run of the test
// program itself, which writes its record at the very end of its exit.
#pragma once
#include <initializer_list>
#include <string>
#include <vector>

struct TracedEvent {
  int row;
  bool built;
  std::string name;
};

// Runs this test program again with only the given test selected (disabled
// tests included: a child's entry point is a DISABLED_ test, so that it does
// not count as a passing empty test in the normal run); its exit code, or -1
// when it could not be started or did not end within a minute. The child
// inherits this process's environment.
int RunThisProgramInChild(const std::string& testFilter);

// Runs this test program again with only the given (empty) test selected and
// returns the events its globals recorded.
std::vector<TracedEvent> TraceStartupInChild(const std::string& emptyTestFilter);

// The name each row of the start-up table has.
const char* StartupRowName(int row);

// Checks a child run's events (test failures, fatal ones included): the
// globals were built in ascending rows, each under its row's name, every
// one of the rows given among them, and torn down in the reverse order.
void ExpectTableOrder(const std::vector<TracedEvent>& events, std::initializer_list<int> rows);
