// Waiting in tests for something that another process or thread brings
// about: checks a condition every 20 ms until it holds or a bound passes.
#ifndef QUORVANE_TEST_SUPPORT_WAIT_UNTIL_H_
#define QUORVANE_TEST_SUPPORT_WAIT_UNTIL_H_

#include <chrono>
#include <functional>

namespace quorvane_test {

// True as soon as `condition` holds; false when it still does not after
// `timeout`.
bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

}  // namespace quorvane_test

#endif  // QUORVANE_TEST_SUPPORT_WAIT_UNTIL_H_
