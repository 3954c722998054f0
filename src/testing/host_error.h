// The HostError a call raises, for tests that look at its code and
// description; a call that raises none fails the test.
#ifndef TARVEX_TESTING_HOST_ERROR_H_
#define TARVEX_TESTING_HOST_ERROR_H_

#include <gtest/gtest.h>

#include "host/host.h"

namespace tarvex {

template <typename Call>
HostError ErrorOf(Call call) {
  try {
    call();
  } catch (const HostError& e) {
    return e;
  }
  ADD_FAILURE() << "no HostError";
  return HostError(status::kOk, "");
}

}  // namespace tarvex

#endif  // TARVEX_TESTING_HOST_ERROR_H_
