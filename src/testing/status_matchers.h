// Checks on a Status that print its message when it is not ok, so that a
// failing test says which file failed and why instead of "false":
//
//   ASSERT_OK(WriteWholeFile(fs, path, "data"));
//   EXPECT_OK(filter.SaveDatabase());
#ifndef TARVEX_TESTING_STATUS_MATCHERS_H_
#define TARVEX_TESTING_STATUS_MATCHERS_H_

#include <gtest/gtest.h>

#include "platform/status.h"

namespace tarvex {
namespace testing {

inline ::testing::AssertionResult IsOk(const char* expression, const Status& status) {
  if (status.ok()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << expression << " failed: " << status.message();
}

}  // namespace testing
}  // namespace tarvex

#define ASSERT_OK(expression) ASSERT_PRED_FORMAT1(::tarvex::testing::IsOk, expression)
#define EXPECT_OK(expression) EXPECT_PRED_FORMAT1(::tarvex::testing::IsOk, expression)

#endif  // TARVEX_TESTING_STATUS_MATCHERS_H_
