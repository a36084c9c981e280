// Guard mode against a recording stand-in for the proxy object: the order
// of calls and pauses, and a quiet end on the first failure.
#include "helper/guard.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace Tavrin::Helper {
namespace {

// Answers IsBusy from a script of answers and records every call.
class RecordingProxy final : public Tavrin::Proxy::VelmoraProxyStandIn {
 public:
  RecordingProxy(std::vector<VARIANT_BOOL> busy_answers, std::vector<std::string>* log)
      : answers_(std::move(busy_answers)), log_(log) {}

  HRESULT is_busy_result = S_OK;
  HRESULT set_stop_result = S_OK;

  HRESULT IsBusy(VARIANT_BOOL* busy) override {
    log_->push_back("IsBusy");
    if (FAILED(is_busy_result)) return is_busy_result;
    *busy = next_ < answers_.size() ? answers_[next_++] : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT SetStop(VARIANT_BOOL stop) override {
    log_->push_back("SetStop(" + std::to_string(stop) + ")");
    return set_stop_result;
  }
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

 private:
  std::vector<VARIANT_BOOL> answers_;
  std::size_t next_ = 0;
  std::vector<std::string>* log_;
};

class GuardTest : public ::testing::Test {
 protected:
  Sleeper sleeper() {
    return [this](std::chrono::milliseconds pause) { log_.push_back("sleep " + std::to_string(pause.count())); };
  }
  std::vector<std::string> log_;
};

// Not busy at the first call: SetStop(true) at once, then the ten-second wait.
TEST_F(GuardTest, IdleProxyIsStoppedAtOnce) {
  RecordingProxy proxy({VARIANT_FALSE}, &log_);
  EXPECT_EQ(S_OK, guard_proxy(&proxy, sleeper()));
  EXPECT_EQ((std::vector<std::string>{"IsBusy", "SetStop(-1)", "sleep 10000"}), log_);
}

// Busy twice: asked again every second until idle.
TEST_F(GuardTest, BusyProxyIsPolledEverySecond) {
  RecordingProxy proxy({VARIANT_TRUE, -1, VARIANT_FALSE}, &log_);
  EXPECT_EQ(S_OK, guard_proxy(&proxy, sleeper()));
  EXPECT_EQ((std::vector<std::string>{"IsBusy", "sleep 1000", "IsBusy", "sleep 1000", "IsBusy", "SetStop(-1)",
                                      "sleep 10000"}),
            log_);
}

// A failing IsBusy or SetStop ends the guard with that failure and
// nothing after it.
TEST_F(GuardTest, FailureEndsGuardQuietly) {
  RecordingProxy failing_busy({}, &log_);
  failing_busy.is_busy_result = RPC_E_DISCONNECTED;
  EXPECT_EQ(RPC_E_DISCONNECTED, guard_proxy(&failing_busy, sleeper()));
  EXPECT_EQ((std::vector<std::string>{"IsBusy"}), log_);
  log_.clear();
  RecordingProxy failing_stop({VARIANT_FALSE}, &log_);
  failing_stop.set_stop_result = E_FAIL;
  EXPECT_EQ(E_FAIL, guard_proxy(&failing_stop, sleeper()));
  EXPECT_EQ((std::vector<std::string>{"IsBusy", "SetStop(-1)"}), log_);
}

}  // namespace
}  // namespace Tavrin::Helper
